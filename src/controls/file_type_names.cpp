#include "controls/file_type_names.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QProxyStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionMenuItem>
#include <QStyledItemDelegate>

namespace framolo {

namespace {

// The list of file types the dialog builds for itself.
constexpr const char* kTypeListName = "fileTypeCombo";

// The closed list paints its current text through the style, and so does
// the open list when the style draws it as a menu.
class TDescriptionStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionComboBox*>(option);
        if (element == CE_ComboBoxLabel && box != nullptr) {
            DrawDescribed(element, *box, &QStyleOptionComboBox::currentText, painter, widget);
            return;
        }
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuItem && item != nullptr) {
            DrawDescribed(element, *item, &QStyleOptionMenuItem::text, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

private:
    // Draws a copy of option whose text field holds the file type's description.
    template <class TOption>
    void DrawDescribed(ControlElement element, const TOption& option, QString TOption::*text,
                       QPainter* painter, const QWidget* widget) const {
        TOption shown(option);
        shown.*text = FileTypeDescription(option.*text);
        QProxyStyle::drawControl(element, &shown, painter, widget);
    }
};

// Otherwise the open list paints its items through an item delegate.
class TDescriptionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override {
        return FileTypeDescription(QStyledItemDelegate::displayText(value, locale));
    }
};

} // namespace

QString FileTypeDescription(const QString& nameFilter) {
    const qsizetype open = nameFilter.lastIndexOf(QStringLiteral(" ("));
    if (open <= 0 || !nameFilter.endsWith(QLatin1Char(')')))
        return nameFilter;
    return nameFilter.left(open);
}

void ShowFileTypeDescriptions(QFileDialog& dialog) {
    auto* list = dialog.findChild<QComboBox*>(QString::fromLatin1(kTypeListName));
    if (list == nullptr || dynamic_cast<TDescriptionStyle*>(list->style()) != nullptr)
        return;
    auto* style = new TDescriptionStyle;
    style->setParent(list);
    list->setStyle(style);
    if (qobject_cast<QStyledItemDelegate*>(list->itemDelegate()) != nullptr)
        list->setItemDelegate(new TDescriptionDelegate(list));
}

} // namespace framolo
