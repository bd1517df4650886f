#include "controls/places_open_dialog.h"

#include "controls/file_type_names.h"
#include "controls/modal_seam.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QStandardPaths>
#include <QUrl>

namespace framolo {

TPlacesOpenDialog::TPlacesOpenDialog(QWidget* parent) : QFileDialog(parent) {
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    // Qt's own dialog on every desktop: it has the places bar, and it shows
    // each file type by its description as written, where a desktop's dialog
    // may cut it at its first parenthesis.
    setOption(QFileDialog::DontUseNativeDialog);
    connect(this, &QFileDialog::filterSelected, this, &TPlacesOpenDialog::TypeChanged);
}

void TPlacesOpenDialog::SetFilterIndex(int index) {
    filterIndex_ = index;
    ApplyFilterIndex();
}

void TPlacesOpenDialog::SetFilter(const QString& filter) {
    filter_ = filter;
    qtFilters_.clear();
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The dialog reads the patterns from the last parentheses, so a
        // description that shows its own "( *.avi )" keeps it.
        qtFilters_ << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    setNameFilters(qtFilters_);
    ApplyFilterIndex();
}

void TPlacesOpenDialog::ApplyFilterIndex() {
    if (filterIndex_ >= 1 && filterIndex_ <= qtFilters_.size())
        selectNameFilter(qtFilters_[filterIndex_ - 1]);
}

void TPlacesOpenDialog::TypeChanged(const QString& filter) {
    const qsizetype at = qtFilters_.indexOf(filter);
    if (at >= 0)
        filterIndex_ = static_cast<int>(at) + 1;
}

bool TPlacesOpenDialog::Execute() {
    ApplyFilterIndex();
    if (optionsEx_.PlacesBar) {
        QList<QUrl> places{QUrl::fromLocalFile(QDir::homePath())};
        for (const auto location :
             {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
              QStandardPaths::MoviesLocation, QStandardPaths::PicturesLocation}) {
            const QString path = QStandardPaths::writableLocation(location);
            if (!path.isEmpty() && QDir(path).exists())
                places << QUrl::fromLocalFile(path);
        }
        places << QUrl::fromLocalFile(QDir::rootPath());
        setSidebarUrls(places);
    } else {
        setSidebarUrls({});
    }
    ShowFileTypeDescriptions(*this);
    const int result = RunModal(*this);
    CloseCompletions(*this);
    // The type shown when the dialog closed is the one offered next time.
    TypeChanged(selectedNameFilter());
    fileName_.clear();
    if (result != QDialog::Accepted)
        return false;
    const QStringList files = selectedFiles();
    if (files.isEmpty())
        return false;
    fileName_ = files.first();
    return !fileName_.isEmpty();
}

void CloseCompletions(QFileDialog& dialog) {
    for (QCompleter* completer : dialog.findChildren<QCompleter*>())
        completer->popup()->hide();
    if (QWidget* focused = QApplication::focusWidget();
        focused != nullptr && (focused == &dialog || dialog.isAncestorOf(focused)))
        focused->clearFocus();
}

} // namespace framolo
