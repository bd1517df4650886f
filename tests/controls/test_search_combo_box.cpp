#include "controls/search_combo_box.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace framolo {
namespace {

const QStringList kDitherItems{"Nearest", "FloydSteinberg", "Stucki", "Sierra"};

TEST(SearchComboBox, CompletesCaseInsensitivelyAndNotAfterBackspace) {
    TSearchComboBox box;
    box.setEditable(true);
    box.addItems(kDitherItems);
    box.setEditText(QString());
    box.show();
    QLineEdit* edit = box.lineEdit();
    ASSERT_NE(edit, nullptr);

    QTest::keyClick(edit, Qt::Key_F);
    EXPECT_EQ(box.currentText(), "FloydSteinberg");
    EXPECT_EQ(edit->selectionStart(), 1);
    EXPECT_EQ(edit->selectedText().size(), 13);
    EXPECT_EQ(box.currentIndex(), 1);

    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(box.currentText(), "F") << "Backspace removes the completed tail and stays";
    EXPECT_FALSE(edit->hasSelectedText());

    QTest::keyClick(edit, Qt::Key_I);
    EXPECT_EQ(box.currentText(), "Fi") << "no item starts with the typed text";
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_S);
    QTest::keyClick(edit, Qt::Key_I);
    EXPECT_EQ(box.currentText(), "Sierra") << "the first match after the typed prefix";
    EXPECT_EQ(edit->selectedText(), "erra");
}

TEST(SearchComboBox, WidthLimitCutsTypedTextBack) {
    TSearchComboBox box;
    box.setEditable(true);
    box.show();
    box.MaxPixel().SetLength(50);
    QLineEdit* edit = box.lineEdit();
    QTest::keyClicks(edit, "wwwwwwwwwwwwwwwwwwww");
    const QFontMetrics metrics(box.font());
    EXPECT_LE(metrics.horizontalAdvance(box.currentText()), 50);
    EXPECT_FALSE(box.currentText().isEmpty());
    EXPECT_GT(metrics.horizontalAdvance(box.currentText() + "w"), 50)
        << "cut back only as far as needed";

    // Narrowing the limit re-fits the current text and puts the caret at its end.
    box.MaxPixel().SetLength(20);
    EXPECT_LE(metrics.horizontalAdvance(box.currentText()), 20);
    EXPECT_EQ(edit->cursorPosition(), box.currentText().size());
}

class AutoSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QCoreApplication::setOrganizationName("FramoloControlsTest");
        QCoreApplication::setApplicationName("AutoSave");
    }
    void TearDown() override {
        QCoreApplication::setOrganizationName(QString());
        QCoreApplication::setApplicationName(QString());
    }
    static void Configure(TSearchComboBox& box, bool active = true) {
        box.AutoSave().Active = active;
        box.AutoSave().Registry = {"Lists/Dither", "Choice"};
    }
    // The dither list, kept under the same key.
    static void ConfigureList(TSearchComboBox& box, bool active = true) {
        box.addItems(kDitherItems);
        Configure(box, active);
    }
    static void CountRestores(TSearchComboBox& box, int& count) {
        box.OnRestored = [&count] { ++count; };
    }
    QTemporaryDir dir;
};

TEST_F(AutoSaveTest, DropDownListSavesItsIndexAndRestoresIt) {
    {
        TSearchComboBox box;
        ConfigureList(box);
        box.setCurrentIndex(2);
    }
    QSettings settings;
    EXPECT_EQ(settings.value("Lists/Dither/Choice").toInt(), 2);

    TSearchComboBox restored;
    ConfigureList(restored);
    int restoredCount = 0;
    CountRestores(restored, restoredCount);
    restored.Loaded();
    EXPECT_EQ(restored.currentIndex(), 2);
    EXPECT_EQ(restoredCount, 1);
}

TEST_F(AutoSaveTest, EditableBoxSavesItsTextAndWrongKindsRestoreNothing) {
    {
        TSearchComboBox box;
        box.setEditable(true);
        ConfigureList(box);
        box.setEditText(QString());
        box.show();
        QTest::keyClicks(box.lineEdit(), "Ste");
        EXPECT_EQ(box.currentText(), "Ste");
    }
    TSearchComboBox text;
    text.setEditable(true);
    Configure(text);
    text.Loaded();
    EXPECT_EQ(text.currentText(), "Ste");

    // A list cannot take a text as its index, nor an index it does not have.
    QSettings().setValue("Lists/Dither/Choice", "Ste");
    TSearchComboBox list;
    ConfigureList(list);
    int restoredCount = 0;
    CountRestores(list, restoredCount);
    list.Loaded();
    QSettings().setValue("Lists/Dither/Choice", 17);
    list.Loaded();
    EXPECT_EQ(list.currentIndex(), 0);
    EXPECT_EQ(restoredCount, 0);

    // Inactive: nothing is read and nothing is written.
    QSettings().setValue("Lists/Dither/Choice", 3);
    TSearchComboBox inactive;
    ConfigureList(inactive, false);
    inactive.Loaded();
    inactive.setCurrentIndex(1);
    EXPECT_EQ(inactive.currentIndex(), 1);
    EXPECT_EQ(QSettings().value("Lists/Dither/Choice").toInt(), 3);
}

} // namespace
} // namespace framolo
