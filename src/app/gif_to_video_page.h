#pragma once

#include "app/window_actions.h"
#include "app/window_host.h"

#include <QList>
#include <QObject>

#include <string>

class QFileDialog;
class QLabel;
class QWidget;

namespace framolo {

class TAVIPlayer;
class TGIFPreview;
class TImageButton;
class TImageControl;
class TPageWindow;
class TPlacesOpenDialog;

// The GIF to AVI page: the GIF image opened, and beside it the clip it became.
// It owns whether its conversion runs, and announces each change by Changed.
class TGifToVideoPage : public QObject, public TGifToVideoJobView {
    Q_OBJECT
public:
    TGifToVideoPage(QWidget* sheet, TPageWindow& window, TWindowActions& actions,
                    QFileDialog& saveDialog);

    void SetHost(TWindowHost& host) { host_ = &host; }

    bool Running() const { return running_; }
    TGIFPreview& Preview() { return *Gifpreview_B_; }
    TAVIPlayer& Player() { return *AVIPlayer2_; }

    // Asks for a GIF image in the open dialog and opens it.
    void ChooseGif(TPlacesOpenDialog& dialog);
    void OpenGif(const std::string& fileName);
    void Convert();
    void StopRun();
    // Leaving the page: the GIF image and its clip go, the placeholders come back.
    void Clear();

    // The page's controls in the order Tab takes them.
    QList<QWidget*> TabChain() const;

    // ---- As the GIF to AVI job sees it ----
    TGIFDocument* SourceDocument() override;
    bool PreviewVideo(const std::string& fileName) override;
    void SetRunning(bool running) override;
    QFileDialog& OutputDialog() override { return saveDialog_; }

signals:
    void Changed();

private:
    void Build(QWidget* page);

    TPageWindow& window_;
    QFileDialog& saveDialog_;
    TWindowHost* host_ = nullptr;
    bool running_ = false;
    // The file the shown GIF image was read from: each run converts it, though
    // the window's file name then names the clip written last.
    std::string gifFileName_;

    TImageControl* ImageGifSplash_B_ = nullptr;
    TGIFPreview* Gifpreview_B_ = nullptr;
    TAVIPlayer* AVIPlayer2_ = nullptr;
    TImageControl* ImageAviSplash_B_ = nullptr;
    QLabel* cannotPreviewLabel_ = nullptr;
    TImageButton* ConvertGifButton_ = nullptr;
    TImageButton* StopGifButton_ = nullptr;
};

} // namespace framolo
