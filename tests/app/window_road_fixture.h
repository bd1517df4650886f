#pragma once

// The window's roads as a person takes them: clips and GIF images made at
// test time, and a window whose every dialog and box is answered through the
// modal seam.
#include "clip_tools.h"
#include "controls/modal_seam.h"
#include "window_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace framolo {
// A file in the running test's own folder, removed after the test.
inline QString WorkPath(const QString& name) {
    return QString::fromStdString(test::WorkPath(name.toStdString()));
}

// A file in the folder of clips the tests share, which no test writes to.
inline QString SharedClipPath(const QString& name) {
    const QString folder = QString::fromStdString(test::ClipPath("roads"));
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

// A clip of `frames` test-pattern frames at 10 frames a second, made once.
inline QString MakeClip(const QString& name, int frames, const char* size = "32x24",
                        const char* codec = "rawvideo -pix_fmt bgr24") {
    const QString path = SharedClipPath(name);
    if (!QFileInfo::exists(path)) {
        // Made under a private name and renamed into place, so test programs
        // running side by side never read a half-written clip.
        const QString part =
            path + QStringLiteral(".part%1.avi").arg(QCoreApplication::applicationPid());
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=" + std::string(size) +
            ":rate=10 -frames:v " + std::to_string(frames) + " -c:v " + codec + " '" +
            part.toStdString() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        if (!QFile::rename(part, path))
            QFile::remove(part);
    }
    return path;
}

// A five-frame 40 x 30 GIF image made by ffmpeg.
inline QString MakeGif() {
    const QString gif = SharedClipPath("road.gif");
    if (!QFileInfo::exists(gif)) {
        const QString part =
            gif + QStringLiteral(".part%1.gif").arg(QCoreApplication::applicationPid());
        const std::string command = "ffmpeg -loglevel error -y -f lavfi -i "
                                    "testsrc=size=40x30:rate=10 -frames:v 5 '" +
                                    part.toStdString() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        if (!QFile::rename(part, gif))
            QFile::remove(part);
    }
    return gif;
}

inline std::vector<std::uint8_t> ReadBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WindowRoadTest : public TShownWindowTest {
protected:
    QString Text(const char* name) const {
        if (auto* edit = form->findChild<QLineEdit*>(QString::fromLatin1(name)))
            return edit->text();
        return Find<QLabel>(name)->text();
    }
    bool Enabled(const char* name) const { return Find(name)->isEnabled(); }

    // Answers every dialog: open dialogs choose openFile, save dialogs note the
    // name they propose and choose saveFile, boxes are noted and closed.
    TModalRunner Answer() {
        return [this](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                boxes << box->windowTitle() + "|" + box->text();
                return static_cast<int>(QMessageBox::Ok);
            }
            auto& files = static_cast<QFileDialog&>(dialog);
            ++fileDialogs;
            if (files.acceptMode() == QFileDialog::AcceptOpen) {
                files.selectFile(openFile);
            } else {
                proposed = files.selectedFiles().value(0);
                saveFilters = files.nameFilters();
                if (!saveFilter.isEmpty())
                    files.selectNameFilter(saveFilter);
                files.selectFile(saveFile);
            }
            return static_cast<int>(QDialog::Accepted);
        };
    }

    void Open(const QString& path) {
        openFile = path;
        form->OpenClick();
    }

    // Runs `action` once the running job has pumped messages `after` times.
    void DuringRun(int after, std::function<void()> action) {
        auto* timer = new QTimer(form.get());
        auto count = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, timer, [=] {
            if (++*count == after) {
                timer->stop();
                action();
            }
        });
        timer->start(0);
    }

    QStringList boxes;
    int fileDialogs = 0;
    QString openFile;
    QString saveFile;
    QString saveFilter; // the kind of file chosen in a save dialog, when set
    QStringList saveFilters;
    QString proposed;
};

} // namespace framolo
