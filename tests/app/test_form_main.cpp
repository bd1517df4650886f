#include "app/form_main.h"
#include "app/main_texts.h"
#include "app/project_links.h"
#include "controls/framed_group_box.h"
#include "controls/hint_tool_bar.h"
#include "controls/image_button.h"
#include "controls/search_combo_box.h"
#include "gif/gif_document.h"
#include "preview/gif_preview.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

namespace framolo {
namespace {

struct Placed {
    const char* name;
    QRect geometry;
};

// Every control at its place, relative to its parent, as the window lays it out.
const Placed kLayout[] = {
    {"Panel1", {0, 0, 643, 31}},
    {"Image1", {0, 0, 643, 31}},
    {"Image2", {6, 4, 263, 19}},
    {"Image9", {572, 0, 71, 30}},
    {"MinimizeButton", {579, 4, 19, 19}},
    {"MaximizeButton", {600, 4, 19, 19}},
    {"CloseButton", {619, 4, 19, 19}},
    {"Image7", {2, 31, 639, 46}},
    {"OpenButton", {10, 31, 46, 46}},
    {"SaveButton", {66, 31, 46, 46}},
    {"ConvertButton", {122, 31, 46, 46}},
    {"StopButton", {122, 31, 46, 46}},
    {"MailButton", {184, 31, 46, 46}},
    {"WebsiteButton", {242, 31, 46, 46}},
    {"HelpButton", {300, 31, 46, 46}},
    {"Panel_pt1", {2, 77, 250, 37}},
    {"Panel_pt2", {2, 77, 250, 37}},
    {"Label_Tab1", {119, 6, 95, 25}},
    {"Label_tab2", {22, 9, 74, 20}},
    {"Image10", {248, 77, 393, 37}},
    {"PageControl1", {2, 113, 639, 320}},
    {"StatusMemo", {3, 390, 638, 28}},
    {"ProgressBar", {2, 418, 640, 16}},
    {"AviPreviewGroup", {8, 0, 172, 143}},
    {"PanelAviPreview", {6, 14, 160, 121}},
    {"Image_avi", {0, 0, 160, 121}},
    {"AVIPlayer1", {0, 0, 160, 121}},
    {"TrackBar1", {2, 156, 154, 25}},
    {"edit1", {148, 159, 35, 15}},
    {"PlayerToolBar", {10, 191, 132, 25}},
    {"ToolBar1", {10, 225, 132, 25}},
    {"ParameterGroup", {189, 0, 260, 225}},
    {"GifPreviewGroup", {456, 0, 172, 143}},
    {"PanelGifPreview", {6, 14, 160, 121}},
    {"Image_Gif", {0, 0, 160, 121}},
    {"ImageGifPreview", {0, 0, 160, 121}},
    {"Panel2", {458, 150, 169, 107}},
    {"ConvertAviButton", {288, 225, 46, 46}},
    {"StopAviButton", {288, 225, 46, 46}},
    {"GifSourceGroup", {9, 11, 280, 230}},
    {"PanelGifPreview_B", {2, 14, 276, 213}},
    {"ImageGifSplash_B", {0, 0, 276, 213}},
    {"Gifpreview_B", {0, 0, 276, 213}},
    {"AviResultGroup", {345, 11, 280, 230}},
    {"PanelAviPreview_B", {2, 14, 276, 213}},
    {"ImageAviSplash_B", {0, 0, 276, 213}},
    {"AVIPlayer2", {0, 0, 276, 213}},
    {"ConvertGifButton", {292, 95, 46, 46}},
    {"StopGifButton", {295, 95, 46, 46}},
};

class FormMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultPaintOptions = 0x060F;
        form = std::make_unique<TFormmain>();
    }

    template <class T = QWidget> T* Find(const char* name) const {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // Shown on its page, whichever page is in front.
    bool Shown(const char* name) const {
        const QWidget* widget = Find(name);
        const QWidget* page = widget->parentWidget();
        while (page != form.get() && !page->objectName().startsWith("TabSheet"))
            page = page->parentWidget();
        return widget->isVisibleTo(page);
    }
    bool Enabled(const char* name) const { return Find(name)->isEnabled(); }
    QString Hint(const char* name) const { return Find(name)->toolTip(); }
    QString Text(const char* name) const { return Find<QLineEdit>(name)->text(); }

    std::unique_ptr<TFormmain> form;
};

TEST_F(FormMainTest, EveryControlIsInItsPlaceUnderItsName) {
    EXPECT_EQ(form->size(), QSize(643, 435));
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    for (const Placed& placed : kLayout) {
        const QWidget* widget = Find(placed.name);
        if (widget != nullptr) {
            EXPECT_EQ(widget->geometry(), placed.geometry) << placed.name;
        }
    }
    // The kinds the window is made of.
    for (const char* name :
         {"OpenButton", "SaveButton", "ConvertButton", "StopButton", "MailButton", "WebsiteButton",
          "HelpButton", "ConvertAviButton", "StopAviButton", "ConvertGifButton", "StopGifButton",
          "MinimizeButton", "MaximizeButton", "CloseButton"})
        EXPECT_NE(Find<TImageButton>(name), nullptr) << name;
    for (const char* name : {"AviPreviewGroup", "ParameterGroup", "GifPreviewGroup",
                             "GifSourceGroup", "AviResultGroup"})
        EXPECT_NE(Find<TFramedGroupBox>(name), nullptr) << name;
    EXPECT_NE(Find<THintToolBar>("PlayerToolBar"), nullptr);
    EXPECT_EQ(Find<TSearchComboBox>("ColorReductionBox")->count(), 10);
    EXPECT_EQ(Find<TSearchComboBox>("DitherModeBox")->itemText(6), "Burkes\t");
    EXPECT_EQ(Find<TSearchComboBox>("ColorReductionBox")->itemText(6), "Quantize  ( commend ) ");
    EXPECT_EQ(Find<QStackedWidget>("PageControl1")->widget(0)->palette().color(QPalette::Window),
              QColor(99, 101, 156));
    EXPECT_EQ(Find<QProgressBar>("ProgressBar")->maximum(), 100);
}

TEST_F(FormMainTest, HintsAndTexts) {
    EXPECT_EQ(Hint("OpenButton"), "Open an AVI file");
    EXPECT_EQ(Hint("SaveButton"), "Save");
    EXPECT_EQ(Hint("ConvertButton"), "Convert");
    EXPECT_EQ(Hint("StopButton"), "Stop working");
    EXPECT_EQ(Hint("MailButton"), "Any  questions or suggestions , Please Email to me ! ");
    EXPECT_EQ(Hint("WebsiteButton"), "Visite our website ! ");
    EXPECT_EQ(Hint("HelpButton"), "Help");
    EXPECT_EQ(Hint("edit1"), "Current Frame");
    EXPECT_EQ(Hint("ConvertAviButton"), "Convert current AVI to GIF image");
    EXPECT_EQ(Hint("ConvertGifButton"), "Convert GIF to AVI");
    EXPECT_EQ(Hint("ToolButton5"), "Open/Close Select Mode  ");
    EXPECT_EQ(Hint("ToolButton6"), "Select Start Frame");
    EXPECT_EQ(Hint("ToolButton9"), "Select Stop Frame");
    EXPECT_EQ(Hint("ToolButton10"), "Previous Frame");
    EXPECT_EQ(Hint("ToolButton11"), "Next Frame");
    EXPECT_EQ(Find<TFramedGroupBox>("ParameterGroup")->title(), " Converting Parameter ");
    EXPECT_EQ(Find<TFramedGroupBox>("AviPreviewGroup")->title(), " AVI Preview ");
    EXPECT_EQ(Find<TFramedGroupBox>("GifSourceGroup")->title(), " GIF Preview ");
    EXPECT_EQ(form->windowTitle(), "Framolo");
}

TEST_F(FormMainTest, FormCreateLeavesNothingOpenAndTheWelcomeText) {
    EXPECT_EQ(DefaultPaintOptions, 0x064F);
    EXPECT_EQ(TGIFDocument().PaintOptions(), 0x064F) << "new documents paint on their target";

    EXPECT_FALSE(Enabled("ParameterGroup"));
    EXPECT_FALSE(Enabled("StartEdit")) << "the group's fields follow it";
    EXPECT_FALSE(form->TrackDragging());
    EXPECT_FALSE(Shown("Panel2"));
    for (const char* name :
         {"ToolButton2", "ToolButton3", "ToolButton8", "ToolButton7", "ToolButton5", "ToolButton6",
          "ToolButton9", "ToolButton10", "ToolButton11", "TrackBar1"})
        EXPECT_FALSE(Enabled(name)) << name;
    EXPECT_TRUE(Enabled("ToolButton1"));
    EXPECT_EQ(form->SelectModeIcon(), 5);
    EXPECT_FALSE(Enabled("MaximizeButton"));

    EXPECT_TRUE(Shown("Panel_pt1"));
    EXPECT_FALSE(Shown("Panel_pt2"));
    EXPECT_EQ(form->ActivePage(), 0);
    for (const char* name :
         {"Image_avi", "Image_Gif", "ImageGifSplash_B", "ImageAviSplash_B", "ConvertGifButton"})
        EXPECT_TRUE(Shown(name)) << name;
    for (const char* name : {"StopButton", "StopAviButton", "StopGifButton", "AVIPlayer1",
                             "ImageGifPreview", "Gifpreview_B", "AVIPlayer2"})
        EXPECT_FALSE(Shown(name)) << name;
    EXPECT_EQ(form->AVIPlayer1().Observer(), form.get());
    EXPECT_EQ(form->AVIPlayer2().Observer(), form.get());
    EXPECT_TRUE(Shown("ConvertButton"));

    EXPECT_EQ(Text("StepEdit"), "1");
    EXPECT_EQ(Text("LoopEdit"), "0");
    EXPECT_EQ(Find<QComboBox>("ColorReductionBox")->currentIndex(), -1);
    EXPECT_EQ(Find<QComboBox>("DitherModeBox")->currentIndex(), -1);
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(WelcomeText));
    EXPECT_TRUE(form->StatusText().startsWith("   Thank you for choosing \" Framolo \" ,"));
    EXPECT_TRUE(form->CurrentFileName().empty());
}

TEST_F(FormMainTest, TabSwitchingBothWays) {
    Find<QLineEdit>("DelayEdit")->setText("40");
    Find<QLineEdit>("StepEdit")->setText("3");
    Find<QLineEdit>("LoopEdit")->setText("5");
    form->SetCurrentFileName("clip.avi");

    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    EXPECT_EQ(form->ActivePage(), 1);
    EXPECT_FALSE(Shown("Panel_pt1"));
    EXPECT_TRUE(Shown("Panel_pt2"));
    EXPECT_EQ(form->StatusText(), "   Please click \"Open\" button to import a GIF image . ");
    EXPECT_EQ(Hint("OpenButton"), "Open a GIF image");
    // Leaving the first page closes its clip: fields emptied, step back to 1, loop kept.
    EXPECT_TRUE(Text("DelayEdit").isEmpty());
    EXPECT_EQ(Text("StepEdit"), "1");
    EXPECT_EQ(Text("LoopEdit"), "5");
    EXPECT_EQ(form->CurrentFileName(), "clip.avi");

    form->SetStopRequested(false);
    QTest::mouseClick(Find("Label_tab2"), Qt::LeftButton);
    EXPECT_EQ(form->ActivePage(), 0);
    EXPECT_TRUE(Shown("Panel_pt1"));
    EXPECT_FALSE(Shown("Panel_pt2"));
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(WelcomeText));
    EXPECT_EQ(Hint("OpenButton"), "Open an AVI file");
    EXPECT_TRUE(form->StopRequested()) << "going back stops a GIF to AVI run";
    EXPECT_TRUE(Shown("ConvertGifButton"));
    EXPECT_FALSE(Shown("StopGifButton"));
    EXPECT_TRUE(Shown("ImageGifSplash_B"));
    EXPECT_TRUE(Shown("ImageAviSplash_B"));
    EXPECT_EQ(form->CurrentFileName(), "clip.avi");
}

TEST_F(FormMainTest, LeavingAPageReleasesItsPictures) {
    form->ImageGifPreview().SetPicture(std::make_unique<TGIFDocument>());
    form->ImageGifPreview().show();
    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    EXPECT_EQ(form->ImageGifPreview().Picture(), nullptr) << "Close removes the result";
    EXPECT_FALSE(Shown("ImageGifPreview"));
    EXPECT_TRUE(Shown("Image_Gif"));

    form->Gifpreview_B().SetPicture(std::make_unique<TGIFDocument>());
    form->Gifpreview_B().show();
    form->AVIPlayer2().show();
    QTest::mouseClick(Find("Label_tab2"), Qt::LeftButton);
    EXPECT_EQ(form->Gifpreview_B().Picture(), nullptr);
    EXPECT_FALSE(Shown("Gifpreview_B"));
    EXPECT_FALSE(Shown("AVIPlayer2"));
    EXPECT_TRUE(form->AVIPlayer2().FileName().empty());
}

TEST_F(FormMainTest, PlayerReportsReachTheDelayFieldTrackBarAndFrameField) {
    form->ReportFrameDelay(42);
    EXPECT_EQ(Text("DelayEdit"), "42");
    form->ReportFrameDelay(-1);
    EXPECT_EQ(Text("DelayEdit"), "-1") << "a clip without a rate shows it has none";
    Find<QSlider>("TrackBar1")->setMaximum(100);
    form->ReportPosition(17);
    EXPECT_EQ(Find<QSlider>("TrackBar1")->value(), 17);
    EXPECT_EQ(Text("edit1"), "17");
}

TEST_F(FormMainTest, StopGoesToTheJobOfThePageShown) {
    Find("StopButton")->show();
    Find("StopAviButton")->show();
    Find("ConvertButton")->hide();
    QTest::mouseClick(Find("StopButton"), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(form->StopRequested());
    EXPECT_TRUE(Shown("ConvertButton"));
    EXPECT_TRUE(Shown("ConvertAviButton"));
    EXPECT_FALSE(Shown("StopButton"));
    EXPECT_FALSE(Shown("StopAviButton"));
}

TEST_F(FormMainTest, StatusLineShowsOneMessageAtATime) {
    form->ShowStatus("first");
    form->ShowStatus(QString::fromLatin1(GifOpenedText));
    EXPECT_EQ(form->StatusText(), "   Click \" convert\" button to get an AVI file ");
    const auto* memo = Find<QPlainTextEdit>("StatusMemo");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->document()->blockCount(), 1);
    EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(192, 192, 192));
}

// Records the addresses the window asks the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

TEST_F(FormMainTest, HelpWebPageAndMailOpenThroughTheDesktop) {
    UrlRecorder recorder;
    for (const char* scheme : {"file", "https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "Open");
    QTest::mouseClick(Find("HelpButton"), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(Find("WebsiteButton"), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(Find("MailButton"), Qt::LeftButton, {}, QPoint(20, 20));
    for (const char* scheme : {"file", "https", "mailto"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));

    ASSERT_EQ(recorder.opened.size(), 3);
    EXPECT_TRUE(recorder.opened[0].isLocalFile());
    EXPECT_TRUE(recorder.opened[0].toLocalFile().endsWith("/help.html"));
    EXPECT_TRUE(QFileInfo::exists(recorder.opened[0].toLocalFile())) << "the help page ships";
    EXPECT_EQ(recorder.opened[1], QUrl(QString::fromLatin1(ProjectWebPage)));
    EXPECT_EQ(recorder.opened[2].toString(),
              QStringLiteral("mailto:") + SupportMailAddress + "?SUBJECT=Framolo");
}

TEST_F(FormMainTest, CloseMinimiseAndTheFocusThatNeverStaysInTheFrameField) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->activateWindow();
    QApplication::setActiveWindow(form.get());
    Find("edit1")->setFocus();
    EXPECT_TRUE(Find("StatusMemo")->hasFocus());

    QTest::mouseClick(Find("MinimizeButton"), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);
    form->showNormal();
    QTest::mouseClick(Find("CloseButton"), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_FALSE(form->isVisible());
}

} // namespace
} // namespace framolo

#include "test_form_main.moc"
