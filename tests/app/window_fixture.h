#pragma once

#include "app/form_main.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace framolo {

// A main window shown on the offscreen screen, its widgets found by name.
class TShownWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Start-up gives the application its name, which the plain boxes carry.
        QCoreApplication::setApplicationName("Framolo");
        form = std::make_unique<TFormmain>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 300000));
    }
    void TearDown() override { form.reset(); }

    template <class T = QWidget> T* Find(const char* name) const {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::unique_ptr<TFormmain> form;
};

} // namespace framolo
