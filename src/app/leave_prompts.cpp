#include "app/leave_prompts.h"

#include "controls/modal_seam.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace framolo {

QString DiscardQuestion(TDiscardTrigger trigger) {
    QString before;
    switch (trigger) {
    case TDiscardTrigger::SwitchTab:
        before = QStringLiteral("switching to the other tab");
        break;
    case TDiscardTrigger::CloseClip:
        before = QStringLiteral("closing the clip");
        break;
    case TDiscardTrigger::OpenClip:
        before = QStringLiteral("opening another clip");
        break;
    case TDiscardTrigger::Quit:
        before = QStringLiteral("closing Framolo");
        break;
    }
    return QStringLiteral("The converted GIF image has not been saved.\nSave it before ") + before +
           QLatin1Char('?');
}

TDiscardAnswer AskBeforeDiscard(TDiscardTrigger trigger, QWidget* parent) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Framolo"), DiscardQuestion(trigger),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    // The same words on every desktop; the keys are the underlined letters.
    box.button(QMessageBox::Save)->setText(QStringLiteral("&Save"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("&Discard"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Cancel"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (RunModal(box)) {
    case QMessageBox::Save:
        return TDiscardAnswer::Save;
    case QMessageBox::Discard:
        return TDiscardAnswer::Discard;
    default:
        return TDiscardAnswer::Cancel;
    }
}

bool AskStopRunAndClose(QWidget* parent) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Framolo"),
                    QString::fromLatin1(StopRunQuestion), QMessageBox::Yes | QMessageBox::Cancel,
                    parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Stop and Close"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Cancel"));
    // A stray Return keeps the work going.
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return RunModal(box) == QMessageBox::Yes;
}

} // namespace framolo
