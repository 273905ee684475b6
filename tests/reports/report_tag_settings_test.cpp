// The engine's Reports settings: read through the first report tag's settings and kept, so
// a change shows only in a new engine (a new holder), and concurrent first tags agree.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "reports/report_tag_settings.h"
#include "support/registry.h"
#include "support/server_settings.h"
#include "tests/common/temp_home.h"

using tessaro::reports::ReportTagSettings;
using tessaro::reports::ReportTagSettingsOnce;

namespace {

class ReportTagSettingsTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        m_root = OpenTessaroRootKey();
        m_registry = std::make_unique<CRegistrySettings>(m_root.get());
        m_settings = std::make_unique<CServerSettings>(m_registry.get());
    }
    void Set(const char* name, const char* value) { m_registry->Set("Reports", name, value); }

    std::unique_ptr<CRegistryKey> m_root;
    std::unique_ptr<CRegistrySettings> m_registry;
    std::unique_ptr<CServerSettings> m_settings;
};

TEST_F(ReportTagSettingsTest, WithoutValuesTheDefaults) {
    for (CServerSettings* settings : {static_cast<CServerSettings*>(nullptr), m_settings.get()}) {
        ReportTagSettingsOnce once;
        const ReportTagSettings& s = once.Get(settings);
        EXPECT_EQ(s.defaultTimeoutMs, 60000);
        EXPECT_EQ(s.serverWaitSeconds, 300);
        EXPECT_EQ(s.trailer, "<HR>This report was created using <");
        EXPECT_EQ(s.image, "ALT=\"CRYSTAL CLEAR IMAGE\"");
    }
}

TEST_F(ReportTagSettingsTest, ReadAtTheFirstTagAndKept) {
    Set("DefaultTimeout", "7");
    Set("ServerTimeout", "0");
    Set("CrystalTrailer", "<HR>end");
    Set("CrystalImage", "ALT=\"X\"");
    ReportTagSettingsOnce engine;
    const ReportTagSettings& first = engine.Get(m_settings.get());
    EXPECT_EQ(first.defaultTimeoutMs, 7000);
    EXPECT_EQ(first.serverWaitSeconds, 300);  // 0 or less: the default
    EXPECT_EQ(first.trailer, "<HR>end");
    EXPECT_EQ(first.image, "ALT=\"X\"");

    Set("DefaultTimeout", "9");
    Set("CrystalTrailer", "<HR>other");
    const ReportTagSettings& later = engine.Get(m_settings.get());
    EXPECT_EQ(&later, &first);
    EXPECT_EQ(later.defaultTimeoutMs, 7000);
    EXPECT_EQ(later.trailer, "<HR>end");

    // The next engine reads the values as they stand then.
    ReportTagSettingsOnce next;
    EXPECT_EQ(next.Get(m_settings.get()).defaultTimeoutMs, 9000);
    EXPECT_EQ(next.Get(nullptr).trailer, "<HR>other");
}

TEST_F(ReportTagSettingsTest, ConcurrentFirstTagsSeeOneReading) {
    Set("DefaultTimeout", "11");
    ReportTagSettingsOnce engine;
    std::vector<const ReportTagSettings*> seen(8, nullptr);
    std::vector<std::thread> tags;
    for (std::size_t i = 0; i < seen.size(); ++i)
        tags.emplace_back([&, i] { seen[i] = &engine.Get(m_settings.get()); });
    for (std::thread& t : tags) t.join();
    for (const ReportTagSettings* s : seen) {
        ASSERT_EQ(s, seen.front());
        EXPECT_EQ(s->defaultTimeoutMs, 11000);
    }
}

}  // namespace
