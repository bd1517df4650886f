#include "controls/framed_group_box.h"
#include "controls/hint_color.h"
#include "controls/hint_tool_bar.h"
#include "controls/modal_seam.h"
#include "controls/places_open_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace framolo {
namespace {

TEST(FramedGroupBox, EnabledStateReachesEveryDirectChildWhateverPropageEnableHolds) {
    QWidget page;
    TFramedGroupBox box(" Converting Parameter ", &page);
    ASSERT_FALSE(box.PropageEnable());
    auto* edit = new QLineEdit(&box);
    auto* check = new QCheckBox(&box);
    auto* inner = new QLineEdit(edit);

    box.setEnabled(false);
    EXPECT_FALSE(edit->isEnabledTo(&box)) << "explicitly disabled, not only through the box";
    EXPECT_FALSE(check->isEnabledTo(&box));

    check->setEnabled(false);
    box.setEnabled(true);
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_TRUE(check->isEnabled()) << "a child disabled on its own follows the box again";
    EXPECT_TRUE(inner->isEnabled());

    // Setting the flag propagates once, from the box's present state.
    check->setEnabled(false);
    box.SetPropageEnable(true);
    EXPECT_TRUE(check->isEnabled());

    // A box disabled through its parent hands that on too.
    page.setEnabled(false);
    page.setEnabled(true);
    EXPECT_TRUE(edit->isEnabled());
}

TEST(HintToolBar, SwapsTheHintColourOnEveryEnterAndLeave) {
    const QColor original = ApplicationHintColor();
    THintToolBar bar;
    bar.SetHintColor(QColor(1, 2, 3));
    int enters = 0;
    int leaves = 0;
    bar.OnMouseEnter = [&] { ++enters; };
    bar.OnMouseLeave = [&] { ++leaves; };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&bar, &enter);
    EXPECT_EQ(ApplicationHintColor(), QColor(1, 2, 3));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&bar, &leave);
    EXPECT_EQ(ApplicationHintColor(), original);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

TEST(PlacesOpenDialog, KeepsTheFilterIndexBetweenRuns) {
    TPlacesOpenDialog dialog;
    dialog.SetFilter("Microsoft Avi Files ( *.avi )|*.avi|Video files|*.mp4;*.mkv");
    ASSERT_EQ(dialog.QtFilters().size(), 2);
    EXPECT_EQ(dialog.QtFilters()[0], "Microsoft Avi Files ( *.avi ) (*.avi)");
    EXPECT_EQ(dialog.QtFilters()[1], "Video files (*.mp4 *.mkv)");
    EXPECT_EQ(dialog.FilterIndex(), 1);

    int runs = 0;
    QString offered;
    TScopedModalRunner runner([&](QDialog& shown) {
        auto& file = static_cast<QFileDialog&>(shown);
        offered = file.selectedNameFilter();
        if (runs++ == 0)
            file.selectNameFilter(dialog.QtFilters()[1]);
        return static_cast<int>(QDialog::Rejected);
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(offered, dialog.QtFilters()[0]);
    EXPECT_EQ(dialog.FilterIndex(), 2);
    EXPECT_TRUE(dialog.FileName().isEmpty());

    // Something else resets the dialog's own list between runs; the kept index wins.
    dialog.selectNameFilter(dialog.QtFilters()[0]);
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(offered, dialog.QtFilters()[1]);

    dialog.SetFilterIndex(1);
    EXPECT_EQ(dialog.selectedNameFilter(), dialog.QtFilters()[0]);
}

TEST(PlacesOpenDialog, AcceptedRunGivesTheChosenFileAndPlacesBarMapsToTheSidebar) {
    TPlacesOpenDialog dialog;
    dialog.SetFilter("gif files ( *.gif ) |*.gif");
    dialog.OptionsEx().PlacesBar = false;
    QList<QUrl> sidebar;
    const QString chosen = QDir::tempPath() + "/chosen.gif";
    TScopedModalRunner runner([&](QDialog& shown) {
        auto& file = static_cast<QFileDialog&>(shown);
        sidebar = file.sidebarUrls();
        file.selectFile(chosen);
        return static_cast<int>(QDialog::Accepted);
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), chosen);
    EXPECT_TRUE(sidebar.isEmpty());

    dialog.OptionsEx().PlacesBar = true;
    EXPECT_TRUE(dialog.Execute());
    EXPECT_FALSE(sidebar.isEmpty());
}

} // namespace
} // namespace framolo
