#include "app/SettingsRootView.h"

#include "app/PermissionsView.h"
#include "app/SettingsView.h"
#include "settings/SettingsManager.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

SettingsRootView::SettingsRootView(SettingsManager &settings, const PermissionChecker &permissions, QWidget *parent)
    : QWidget(parent)
    , settings_(settings)
    , segments_(new QButtonGroup(this))
    , tabs_(new QStackedWidget)
    , general_(new SettingsView(settings))
    , permissions_(new PermissionsView(permissions))
{
    auto *segmentRow = new QHBoxLayout;
    segmentRow->setContentsMargins(120, 20, 120, 12);
    segmentRow->setSpacing(0);
    const QString titles[] = {tr("General"), tr("Permissions")};
    for (int tab = 0; tab < 2; ++tab) {
        auto *segment = new QPushButton(titles[tab]);
        segment->setCheckable(true);
        segments_->addButton(segment, tab);
        segmentRow->addWidget(segment);
    }
    connect(segments_, &QButtonGroup::idClicked, &settings_, &SettingsManager::setSettingsSelectedTab);

    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    tabs_->addWidget(general_);
    tabs_->addWidget(permissions_);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(segmentRow);
    layout->addWidget(divider);
    layout->addWidget(tabs_, 1);

    connect(&settings_, &SettingsManager::settingsSelectedTabChanged, this,
            [this] { showTab(settings_.settingsSelectedTab()); });
    showTab(settings_.settingsSelectedTab());
}

int SettingsRootView::currentTab() const
{
    return tabs_->currentIndex();
}

void SettingsRootView::showTab(int tab)
{
    // Any value other than 0 is the permissions tab.
    const int index = tab == 0 ? 0 : 1;
    segments_->button(index)->setChecked(true);
    tabs_->setCurrentIndex(index);
}
