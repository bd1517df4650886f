#include "controls/search_combo_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QChildEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSettings>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "platform/changed_value.h"

namespace framolo {

void TWidthLimit::SetLength(int pixels) {
    if (SetIfChanged(length_, pixels))
        owner_.LimitChanged();
}

void TWidthLimit::SetUseControlFont(bool value) {
    if (SetIfChanged(useControlFont_, value))
        owner_.LimitChanged();
}

void TWidthLimit::SetFont(const QFont& font) {
    if (SetIfChanged(font_, font))
        owner_.LimitChanged();
}

TSearchComboBox::TSearchComboBox(QWidget* parent) : TSearchComboBoxBase(parent), maxPixel_(*this) {
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!isEditable())
            TextChanged();
    });
    connect(this, &QComboBox::currentTextChanged, this, [this] { UpdateHint(); });
}

QString TSearchComboBox::ElideAtWord(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString ellipsis(QChar(0x2026));
    // Word ends from the last to the first; an opening bracket left at the
    // end would only announce what was cut.
    for (qsizetype end = text.lastIndexOf(QLatin1Char(' ')); end > 0;
         end = text.lastIndexOf(QLatin1Char(' '), end - 1)) {
        QString kept = text.left(end);
        while (!kept.isEmpty() && (kept.back().isSpace() || kept.back() == QLatin1Char('(')))
            kept.chop(1);
        if (!kept.isEmpty() && metrics.horizontalAdvance(kept + ellipsis) <= width)
            return kept + ellipsis;
    }
    return metrics.elidedText(text, Qt::ElideRight, width);
}

QRect TSearchComboBox::TextRect() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    // The label is drawn one pixel in from each side of the edit field.
    return style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
        .adjusted(1, 0, -1, 0);
}

QString TSearchComboBox::ShownText() const {
    return ElideAtWord(currentText(), fontMetrics(), TextRect().width());
}

void TSearchComboBox::UpdateHint() {
    if (isEditable())
        return;
    const QString text = currentText();
    if (ShownText() != text) {
        setToolTip(text);
        hintIsText_ = true;
    } else if (hintIsText_) {
        setToolTip(QString());
        hintIsText_ = false;
    }
}

void TSearchComboBox::paintEvent(QPaintEvent* event) {
    // An editable box shows its line edit; an empty one its placeholder.
    if (isEditable() || (currentIndex() < 0 && !placeholderText().isEmpty())) {
        QComboBox::paintEvent(event);
    } else {
        QStylePainter painter(this);
        painter.setPen(palette().color(QPalette::Text));
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        option.currentText = ShownText();
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
    if (!hasFocus() || !isEnabled())
        return;
    // The style's own focus frame is a faint tint; a dashed ring inside the
    // box shows which list the keys go to.
    QPainter ring(this);
    ring.setPen(QPen(QColor(0x1f, 0x21, 0x46), 1.0, Qt::DashLine));
    ring.drawRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
}

void TSearchComboBox::resizeEvent(QResizeEvent* event) {
    QComboBox::resizeEvent(event);
    UpdateHint();
}

void TSearchComboBox::changeEvent(QEvent* event) {
    TSearchComboBoxBase::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        UpdateHint();
}

void TSearchComboBox::showPopup() {
    QAbstractItemView* list = view();
    int widest = list->sizeHintForColumn(modelColumn());
    if (count() > maxVisibleItems())
        widest += list->verticalScrollBar()->sizeHint().width();
    list->setMinimumWidth(widest + 2 * list->frameWidth());
    QComboBox::showPopup();
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
