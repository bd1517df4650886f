#pragma once

#include "controls/hint_control.h"
#include "controls/image_control.h"

#include <cstdint>
#include <functional>

namespace framolo {

class TImageButton;

enum class TPicState : std::uint8_t { stDefault, stEntered, stClicked1, stClicked2, stDown };

// The four extra pictures of a TImageButton. Each starts empty; changing one
// re-applies the button's current state, so a picture given late shows at once.
class TButtonPictures {
public:
    explicit TButtonPictures(TImageButton& owner) : owner_(owner) {}

    const QPixmap& PicEnter() const { return enter_; }
    const QPixmap& PicClicked1() const { return clicked1_; }
    const QPixmap& PicClicked2() const { return clicked2_; }
    const QPixmap& PicDown() const { return down_; }
    void SetPicEnter(const QPixmap& picture) { Change(enter_, picture); }
    void SetPicClicked1(const QPixmap& picture) { Change(clicked1_, picture); }
    void SetPicClicked2(const QPixmap& picture) { Change(clicked2_, picture); }
    void SetPicDown(const QPixmap& picture) { Change(down_, picture); }

private:
    void Change(QPixmap& slot, const QPixmap& picture);

    TImageButton& owner_;
    QPixmap enter_;
    QPixmap clicked1_;
    QPixmap clicked2_;
    QPixmap down_;
};

// A picture button: the normal picture, the enter picture while the mouse is
// over it, the down picture while pressed, and optionally two click pictures
// that successive clicks cycle through. A state whose picture is missing is
// never entered: the button keeps what it shows.
//
// At the keyboard the button takes the focus with Tab, shows a ring while it
// has it, and Return, Enter or Space click it. Its accessible name is its hint.
using TImageButtonBase = THintControl<TImageControl>;

class TImageButton : public TImageButtonBase {
    Q_OBJECT
public:
    explicit TImageButton(QWidget* parent = nullptr);

    // The normal picture, shown in stDefault. The displayed picture is a copy.
    const QPixmap& Picture() const { return picture_; }
    void SetPicture(const QPixmap& picture);

    TButtonPictures& Pictures() { return pictures_; }
    const TButtonPictures& Pictures() const { return pictures_; }

    TPicState State() const { return state_; }
    // Enters s when its picture exists; OnStateChanged fires either way.
    void SetState(TPicState s);

    int ClickCount() const { return clickCount_; }

    // Picks the state the click counter asks for: 0 or 3 the normal picture,
    // 1 and 2 the click pictures, and back to normal when those are missing.
    void ApplyClickState();

    // When set, the second press of a double click is not a click: a run
    // button that another takes the place of at once (Convert, then Stop)
    // must not pass a double click on to it.
    void SetIgnoresDoubleClick(bool value) { ignoresDoubleClick_ = value; }

    std::function<void()> OnClick;
    std::function<void()> OnStateChanged;

protected:
    // Entering shows the enter picture; leaving goes back to what the click
    // counter asks for.
    void HoverChanged(bool entered) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class TButtonPictures;
    const QPixmap& PictureFor(TPicState s) const;
    void Click();

    QPixmap picture_;
    TButtonPictures pictures_;
    TPicState state_ = TPicState::stDefault;
    std::uint8_t clickCount_ = 0;
    bool ignoresDoubleClick_ = false;
    // The press under way is the second of a double click that is ignored.
    bool ignoredPress_ = false;
};

} // namespace framolo
