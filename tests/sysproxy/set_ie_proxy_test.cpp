// SetIeProxy against the real registry of the Wine prefix: the values it leaves behind (read back
// with their types and stored sizes), the status texts, and the failures a key's DACL provokes.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sysproxy/sysproxy.h"
#include "tests/sysproxy/settings_key.h"
#include "text/wide.h"

namespace {

Text Gbk(const wchar_t* wide) { return WideToGbk(wide); }

const Text kSucceeded = Gbk(L"设置IE代理成功");
const Text kSetServerFailed = Gbk(L"设置IE代理：写注册表代理地址失败");
const Text kCancelEnableFailed = Gbk(L"取消IE代理：写注册表代理开关失败");

// Compares the printable forms so a failure shows both type and bytes.
#define EXPECT_STORED(name, expected) EXPECT_EQ(Describe(ReadSettingsValue(name)), Describe(expected)) << (name)

// Every test leaves the key as it found it.
class SetIeProxyTest : public testing::Test {
protected:
    SettingsKeyBackup backup_;
};

struct SetCase {
    const char* label;
    Text address;
    Text bypass;
    Text expectedOverride;
};

TEST_F(SetIeProxyTest, SettingStoresServerOverrideAndSwitch) {
    const SetCase cases[] = {
        {"loopback proxy", "127.0.0.40:80", "", ";<local>"},
        {"empty address", "", "", ";<local>"},
        {"address alone as the buttons build it", ":80", "", ";<local>"},
        {"bypass list joined before <local>", "proxy.test:8080", "*.example;10.*", "*.example;10.*;<local>"},
        // Two-byte characters: gbk_registry_test.cpp (stored as UTF-16, read back through the W function).
    };
    for (const SetCase& c : cases) {
        SCOPED_TRACE(c.label);
        PutSettingsValue("ProxyEnable", DwordValue(0));
        DeleteSettingsValue("ProxyServer");
        DeleteSettingsValue("ProxyOverride");

        EXPECT_EQ(SetIeProxy(c.address, true, c.bypass), kSucceeded);
        EXPECT_STORED("ProxyServer", SzValue(c.address));
        EXPECT_STORED("ProxyOverride", SzValue(c.expectedOverride));
        EXPECT_STORED("ProxyEnable", DwordValue(1));
    }
}

TEST_F(SetIeProxyTest, SettingReplacesValuesOfAnyEarlierTypeOrContent) {
    PutSettingsValue("ProxyServer", DwordValue(7));
    PutSettingsValue("ProxyOverride", SzValue("old;list;<local>"));
    PutSettingsValue("ProxyEnable", SzValue("1"));

    EXPECT_EQ(SetIeProxy("127.0.0.41:80", true), kSucceeded);
    EXPECT_STORED("ProxyServer", SzValue("127.0.0.41:80"));
    EXPECT_STORED("ProxyOverride", SzValue(";<local>"));
    EXPECT_STORED("ProxyEnable", DwordValue(1));
}

struct CancelCase {
    const char* label;
    std::optional<StoredValue> serverBefore;
    std::optional<StoredValue> overrideBefore;
    std::optional<StoredValue> enableBefore;
    std::optional<StoredValue> serverAfter;
};

TEST_F(SetIeProxyTest, CancellingSwitchesOffAndTouchesTheServerOnlyWhenAbsent) {
    const CancelCase cases[] = {
        {"server present: kept", SzValue("127.0.0.42:80"), SzValue(";<local>"), DwordValue(1),
         SzValue("127.0.0.42:80")},
        {"server absent: created empty", std::nullopt, SzValue(";<local>"), DwordValue(1), SzValue("")},
        {"server present with another type: kept", DwordValue(5), std::nullopt, DwordValue(1), DwordValue(5)},
        {"switch never existed", SzValue("127.0.0.43:80"), std::nullopt, std::nullopt, SzValue("127.0.0.43:80")},
        {"nothing there yet", std::nullopt, std::nullopt, std::nullopt, SzValue("")},
    };
    for (const CancelCase& c : cases) {
        SCOPED_TRACE(c.label);
        for (auto [name, value] :
             {std::pair{"ProxyServer", &c.serverBefore}, std::pair{"ProxyOverride", &c.overrideBefore},
              std::pair{"ProxyEnable", &c.enableBefore}}) {
            if (*value) {
                PutSettingsValue(name, **value);
            } else {
                DeleteSettingsValue(name);
            }
        }

        // Same text as a successful set: there is no separate success text for cancelling.
        EXPECT_EQ(SetIeProxy("ignored.test:80", false, "ignored"), kSucceeded);
        EXPECT_STORED("ProxyServer", c.serverAfter);
        EXPECT_STORED("ProxyOverride", c.overrideBefore);  // never written nor removed
        EXPECT_STORED("ProxyEnable", DwordValue(0));
    }
}

TEST_F(SetIeProxyTest, MissingKeyIsCreatedByTheFirstWrite) {
    DeleteSettingsKey();
    ASSERT_FALSE(SettingsKeyExists());
    EXPECT_EQ(SetIeProxy("127.0.0.44:80", true), kSucceeded);
    EXPECT_STORED("ProxyServer", SzValue("127.0.0.44:80"));
    EXPECT_STORED("ProxyOverride", SzValue(";<local>"));
    EXPECT_STORED("ProxyEnable", DwordValue(1));

    DeleteSettingsKey();
    ASSERT_FALSE(SettingsKeyExists());
    EXPECT_EQ(SetIeProxy("", false), kSucceeded);
    EXPECT_STORED("ProxyServer", SzValue(""));
    EXPECT_STORED("ProxyOverride", std::nullopt);
    EXPECT_STORED("ProxyEnable", DwordValue(0));
}

// Wine 8.0 has crashed on a repeated INTERNET_OPTION_PROXY in one process; the sequence must
// survive and each step must behave like the first.
TEST_F(SetIeProxyTest, RepeatedSetsAndCancelsInOneProcess) {
    DeleteSettingsValue("ProxyServer");
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Text address = "127.0.0." + std::to_string(45 + round) + ":80";
        for (int twice = 0; twice < 2; ++twice) {
            EXPECT_EQ(SetIeProxy(address, true), kSucceeded);
            EXPECT_STORED("ProxyServer", SzValue(address));
            EXPECT_STORED("ProxyOverride", SzValue(";<local>"));
            EXPECT_STORED("ProxyEnable", DwordValue(1));
        }
        for (int twice = 0; twice < 2; ++twice) {
            EXPECT_EQ(SetIeProxy("", false), kSucceeded);
            EXPECT_STORED("ProxyServer", SzValue(address));
            EXPECT_STORED("ProxyEnable", DwordValue(0));
        }
    }
}

// Wine honours key DACLs. A DACL applies to every value of a key alike, so with real means only
// the first write of either path can be made to fail. (Wine does not check the parent's DACL when
// RegCreateKeyA makes a missing key, and opens an existing one with whatever access is left, so
// "the key neither opens nor is created" cannot be brought about here; the write fails instead.)
TEST_F(SetIeProxyTest, WriteDeniedOnTheKeyStopsAtTheFirstWrite) {
    const struct {
        const char* label;
        const char* dacl;
    } cases[] = {
        {"everyone may read only", "D:(A;;KR;;;WD)"},
        {"empty DACL: no access at all", "D:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        PutSettingsValue("ProxyServer", SzValue("before.test:80"));
        PutSettingsValue("ProxyOverride", SzValue("before;<local>"));
        PutSettingsValue("ProxyEnable", DwordValue(7));
        {
            KeyDaclGuard denied(kSettingsPath, c.dacl);
            ASSERT_TRUE(denied.applied());
            EXPECT_EQ(SetIeProxy("127.0.0.50:80", true), kSetServerFailed);
            EXPECT_EQ(SetIeProxy("", false), kCancelEnableFailed);
        }
        // Nothing was written and nothing rolled back.
        EXPECT_STORED("ProxyServer", SzValue("before.test:80"));
        EXPECT_STORED("ProxyOverride", SzValue("before;<local>"));
        EXPECT_STORED("ProxyEnable", DwordValue(7));
        // Access restored: both work again.
        EXPECT_EQ(SetIeProxy("127.0.0.50:80", true), kSucceeded);
        EXPECT_EQ(SetIeProxy("", false), kSucceeded);
    }
}

// A key that cannot be opened for reading holds no value as far as the cancel is concerned, so
// an existing server text is overwritten with the empty text.
TEST_F(SetIeProxyTest, CancellingWithAnUnreadableKeyWritesAnEmptyServer) {
    PutSettingsValue("ProxyServer", SzValue("127.0.0.52:80"));
    PutSettingsValue("ProxyEnable", DwordValue(1));
    {
        KeyDaclGuard writeOnly(kSettingsPath, "D:(A;;KW;;;WD)");
        ASSERT_TRUE(writeOnly.applied());
        EXPECT_EQ(SetIeProxy("", false), kSucceeded);
    }
    EXPECT_STORED("ProxyServer", SzValue(""));
    EXPECT_STORED("ProxyEnable", DwordValue(0));
}

}  // namespace
