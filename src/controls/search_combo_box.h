#pragma once

#include "controls/hint_control.h"

#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPointer>
#include <QString>

#include <functional>

namespace framolo {

class TSearchComboBox;

// A width limit for the text of an editable combo box, in pixels; 0 is none.
class TWidthLimit {
public:
    explicit TWidthLimit(TSearchComboBox& owner) : owner_(owner) {}

    int Length() const { return length_; }
    void SetLength(int pixels);
    bool UseControlFont() const { return useControlFont_; }
    void SetUseControlFont(bool value);
    // Measures the text when UseControlFont is false.
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& font);

private:
    TSearchComboBox& owner_;
    int length_ = 0;
    bool useControlFont_ = true;
    QFont font_;
};

// Where the combo box keeps its value between runs: a settings group and a key.
struct TAutoSaveRegistry {
    QString Path;
    QString Key;
};

struct TComboAutoSave {
    bool Active = false;
    TAutoSaveRegistry Registry;
};

// A combo box that completes typed text from its list, keeps typed text within
// a width in pixels, and can keep its value in the user's settings.
using TSearchComboBoxBase = TNotifyingControl<QComboBox>;

class TSearchComboBox : public TSearchComboBoxBase {
    Q_OBJECT
public:
    explicit TSearchComboBox(QWidget* parent = nullptr);

    bool AutoComplete() const { return autoComplete_; }
    void SetAutoComplete(bool value) { autoComplete_ = value; }
    TComboAutoSave& AutoSave() { return autoSave_; }
    TWidthLimit& MaxPixel() { return maxPixel_; }

    // Restores the saved value once the control is set up; fires OnRestored
    // when a value of the right kind was found.
    void Loaded();

    // The text cut back until it fits the width limit, with one beep when it
    // did not fit; unchanged when there is no limit.
    QString FitText(const QString& text) const;

    // Runs the editing rule on the current text, as after a key press.
    void TextChanged();

    // Where a closed list box draws its text, and the text it draws there:
    // the current text, or when that is too long the most whole words of it
    // that fit, followed by an ellipsis. An elided text is shown whole as the
    // box's hint.
    QRect TextRect() const;
    QString ShownText() const;
    // The longest run of whole words of text that fits width with an ellipsis
    // after it; text itself when it fits; cut inside its first word only when
    // even that does not fit.
    static QString ElideAtWord(const QString& text, const QFontMetrics& metrics, int width);

    // The drop-down list is at least as wide as its widest item.
    void showPopup() override;

    std::function<void()> OnRestored;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TWidthLimit;
    void LimitChanged();
    // Cuts the edit text back to the width limit without running the editing
    // rule; returns the text it now holds.
    QString FitEditText();
    void WatchLineEdit();
    bool CanAutoSave() const;
    void Save();
    // Shows the whole text as the hint while the box shows it cut short.
    void UpdateHint();

    bool autoComplete_ = true;
    TComboAutoSave autoSave_;
    TWidthLimit maxPixel_;
    int lastKey_ = 0;
    bool completing_ = false;
    bool hintIsText_ = false; // the hint is the elided text's whole
    QPointer<QLineEdit> watchedEdit_;
};

} // namespace framolo
