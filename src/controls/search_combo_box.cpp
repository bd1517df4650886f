#include "controls/search_combo_box.h"

#include <QApplication>
#include <QChildEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QSettings>

namespace framolo {

void TWidthLimit::SetLength(int pixels) {
    if (length_ == pixels)
        return;
    length_ = pixels;
    owner_.LimitChanged();
}

void TWidthLimit::SetUseControlFont(bool value) {
    if (useControlFont_ == value)
        return;
    useControlFont_ = value;
    owner_.LimitChanged();
}

void TWidthLimit::SetFont(const QFont& font) {
    if (font_ == font)
        return;
    font_ = font;
    owner_.LimitChanged();
}

TSearchComboBox::TSearchComboBox(QWidget* parent) : TSearchComboBoxBase(parent), maxPixel_(*this) {
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!isEditable())
            TextChanged();
    });
}

bool TSearchComboBox::event(QEvent* event) {
    // Qt makes the line edit of an editable box as a child of the box, while the
    // box becomes editable. Watching every new child from its first event on
    // takes the edit in hand before it sees its first key.
    if (event->type() == QEvent::ChildAdded)
        static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
    return QComboBox::event(event);
}

void TSearchComboBox::WatchLineEdit() {
    QLineEdit* edit = lineEdit();
    if (edit == nullptr || edit == watchedEdit_)
        return;
    // Completion is ours alone; Qt's completer would also complete after Backspace.
    edit->setCompleter(nullptr);
    connect(edit, &QLineEdit::textEdited, this, &TSearchComboBox::TextChanged);
    watchedEdit_ = edit;
}

bool TSearchComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit()) {
        WatchLineEdit();
        if (event->type() == QEvent::KeyPress)
            lastKey_ = static_cast<QKeyEvent*>(event)->key();
    }
    return QComboBox::eventFilter(watched, event);
}

void TSearchComboBox::keyPressEvent(QKeyEvent* event) {
    lastKey_ = event->key();
    QComboBox::keyPressEvent(event);
}

QString TSearchComboBox::FitText(const QString& text) const {
    if (maxPixel_.Length() <= 0)
        return text;
    const QFontMetrics metrics(maxPixel_.UseControlFont() ? font() : maxPixel_.Font());
    if (metrics.horizontalAdvance(text) <= maxPixel_.Length())
        return text;
    QApplication::beep();
    QString fitted = text;
    while (!fitted.isEmpty() && metrics.horizontalAdvance(fitted) > maxPixel_.Length())
        fitted.chop(1);
    return fitted;
}

void TSearchComboBox::TextChanged() {
    if (completing_ || !autoComplete_)
        return;
    const QString typed = currentText();
    if (FitEditText() != typed)
        return;
    const bool erasing = lastKey_ == Qt::Key_Backspace || lastKey_ == Qt::Key_Return ||
                         lastKey_ == Qt::Key_Enter || lastKey_ == Qt::Key_Delete;
    if (isEditable() && !erasing && !typed.isEmpty()) {
        const QScopedValueRollback<bool> quiet(completing_, true);
        const int found = findText(typed, Qt::MatchStartsWith);
        if (found >= 0) {
            const QString item = itemText(found);
            setCurrentIndex(found);
            setEditText(item);
            if (QLineEdit* edit = lineEdit())
                edit->setSelection(static_cast<int>(typed.size()),
                                   static_cast<int>(item.size() - typed.size()));
        }
    }
    Save();
}

QString TSearchComboBox::FitEditText() {
    const QString text = currentText();
    const QString fitted = FitText(text);
    if (fitted != text) {
        const QScopedValueRollback<bool> quiet(completing_, true);
        setEditText(fitted);
    }
    return fitted;
}

void TSearchComboBox::LimitChanged() {
    if (!isEditable())
        return;
    const QString fitted = FitEditText();
    if (QLineEdit* edit = lineEdit())
        edit->setCursorPosition(static_cast<int>(fitted.size()));
}

bool TSearchComboBox::CanAutoSave() const {
    return autoSave_.Active && !autoSave_.Registry.Path.isEmpty() &&
           !autoSave_.Registry.Key.isEmpty();
}

void TSearchComboBox::Save() {
    if (!CanAutoSave())
        return;
    QSettings settings;
    settings.beginGroup(autoSave_.Registry.Path);
    if (isEditable())
        settings.setValue(autoSave_.Registry.Key, currentText());
    else
        settings.setValue(autoSave_.Registry.Key, currentIndex());
}

void TSearchComboBox::Loaded() {
    if (!CanAutoSave())
        return;
    QSettings settings;
    settings.beginGroup(autoSave_.Registry.Path);
    const QVariant value = settings.value(autoSave_.Registry.Key);
    if (!value.isValid())
        return;
    bool restored = false;
    {
        const QScopedValueRollback<bool> quiet(completing_, true);
        if (isEditable()) {
            if (value.canConvert<QString>()) {
                setEditText(value.toString());
                restored = true;
            }
        } else {
            bool ok = false;
            const int index = value.toInt(&ok);
            // A saved index the list no longer has counts as a value of the wrong kind.
            if (ok && index >= -1 && index < count()) {
                setCurrentIndex(index);
                restored = true;
            }
        }
    }
    if (restored && OnRestored)
        OnRestored();
}

} // namespace framolo
