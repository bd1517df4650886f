#include "app/form_main.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    framolo::TStartup started = framolo::StartFramolo();
    return QApplication::exec();
}
