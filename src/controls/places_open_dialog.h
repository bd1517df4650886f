#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

namespace framolo {

struct TOpenDialogExOptions {
    // The side bar of places (home, desktop, documents, the file system).
    bool PlacesBar = true;
};

// The open-file dialog. It keeps its own filter index, so the file type the
// user picked is offered again the next time the dialog runs.
class TPlacesOpenDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit TPlacesOpenDialog(QWidget* parent = nullptr);

    TOpenDialogExOptions& OptionsEx() { return optionsEx_; }

    // 1-based, as the filter list is written.
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int index);

    // Pairs of description and patterns separated by '|':
    // "Microsoft Avi Files ( *.avi )|*.avi|All files|*".
    const QString& Filter() const { return filter_; }
    void SetFilter(const QString& filter);
    void SetDefaultExt(const QString& extension) { setDefaultSuffix(extension); }

    // Runs the dialog through the modal seam; true when a file was chosen.
    bool Execute();
    // The file chosen by the last Execute; empty when none.
    const QString& FileName() const { return fileName_; }

    // The filter list as Qt takes it, each description followed by its
    // patterns; the dialog shows the descriptions alone.
    const QStringList& QtFilters() const { return qtFilters_; }

private:
    void ApplyFilterIndex();
    void TypeChanged(const QString& filter);

    TOpenDialogExOptions optionsEx_;
    int filterIndex_ = 1;
    QString filter_;
    QStringList qtFilters_;
    QString fileName_;
};

// Hides what a file dialog may leave open once it has closed: the list of
// names its file name field completes to, which would stay over the window
// and take the next keys, or come back when the folder it reads is in. The
// field gives up the focus, so nothing asks for the list again.
void CloseCompletions(QFileDialog& dialog);

} // namespace framolo
