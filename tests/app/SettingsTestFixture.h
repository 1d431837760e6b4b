#pragma once

#include "FakePermissionChecks.h"
#include "settings/SettingsManager.h"
#include "support/MemorySecrets.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// Preferences in a file of the test's own, keys in memory, and permission checks switched by hand.
class SettingsTestFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::shared_ptr<MemorySecrets::Items> keys;
    std::unique_ptr<SettingsManager> settings;
    QHash<MissingPermission, FakePermissionCheck *> checks;
    std::unique_ptr<PermissionChecker> checker = fakePermissionChecker(checks);

    void SetUp() override
    {
        auto secrets = std::make_unique<MemorySecrets>();
        keys = secrets->items;
        settings = std::make_unique<SettingsManager>(dir.filePath(u"glint.conf"_qs), std::move(secrets));
    }
};
