// The latency probe and 客户1 under Wine: real Winsock, a real list-view on this (UI) thread,
// against loopback fake proxies (127.0.0.20-38 listen, 127.0.0.39 refuses).
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/list.h"
#include "probe/probe.h"
#include "probe/probe_state.h"
#include "probe/tcp_client.h"
#include "tests/support/fake_proxy_client_win.h"
#include "tests/support/pump_win.h"
#include "tests/support/test_window_win.h"

namespace {

// The 22 bytes of the probe's second connection.
const std::string kProbeRequest = "OPTIONS * HTTP/1.0\r\n\r\n";
const Text kTimeout = "\xB3\xAC\xCA\xB1";  // 超时
const char* const kRefusing = "127.0.0.39";
// Highest delay shown for a proxy that answers after 47 ms: one ~16 ms tick step, plus room for
// the fake proxy's and Wine's scheduling on a loaded machine (68 ms was seen there once). Still
// far from both a same-tick reply and the one-second wait.
constexpr int kMax47 = 100;
// Column 2 of every row before a probe: a probe that writes it shows.
const Text kOldDelay = "old";
// ProbeLatency's "no reply" as a number for the tables (a reply is never below 0).
constexpr int kNoReply = -1;
int Ms(std::optional<int> latency) { return latency.value_or(kNoReply); }

// Reads "<n>ms"; -1 when the cell is not of that form.
int CellMs(const Text& cell) {
    if (cell.size() < 3 || cell.compare(cell.size() - 2, 2, "ms") != 0) return -1;
    for (size_t i = 0; i + 2 < cell.size(); ++i)
        if (cell[i] < '0' || cell[i] > '9') return -1;
    return ToInt(cell);
}

class ProbeTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ProxyControlPort(), 0) << "run through run_with_fake_proxies.py";
        SharedTestWindow();
        CreateProbeClient();
        ResetProxyRecords();
        ProbeBusy.store(0);
    }
    void TearDown() override { ProbeBusy.store(0); }
};

// ---- 客户1 ---------------------------------------------------------------------------------------

std::vector<Bytes> g_received;
void CaptureData(const Bytes& b) { g_received.push_back(b); }

class TcpClientTest : public ProbeTest {
protected:
    void SetUp() override {
        ProbeTest::SetUp();
        TcpClientCreate(CaptureData);
        g_received.clear();
    }
};

TEST_F(TcpClientTest, ConnectTakesDottedQuadsAndNamesAndRejectsEmptyOrRefused) {
    SetProxyMode("127.0.0.22", "silent");
    struct Case {
        Text host;
        int port;
        bool connects;
    };
    const Case cases[] = {
        {"127.0.0.22", 80, true},
        {"localhost", ProxyControlPort(), true},  // looked up by name (the control port listens on 127.0.0.1)
        {"", 80, false},
        {kRefusing, 80, false},
    };
    for (const Case& c : cases) {
        bool ok = false;
        RunWhilePumping([&] { ok = TcpClientConnect(c.host, c.port); });
        EXPECT_EQ(ok, c.connects) << "host '" << c.host << "'";
    }
}

TEST_F(TcpClientTest, ConnectDropsThePreviousConnectionEvenWhenItFails) {
    SetProxyMode("127.0.0.22", "silent");
    bool first = false, second = false, third = false, sent = true;
    RunWhilePumping([&] {
        first = TcpClientConnect("127.0.0.22", 80);
        second = TcpClientConnect("127.0.0.22", 80);
        third = TcpClientConnect(kRefusing, 80);
        sent = TcpClientSend(BlankBytes(4));  // nothing left to send on
    });
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_FALSE(third);
    EXPECT_FALSE(sent);
    std::vector<ProxyConnection> records;
    PumpUntil(
        [&] {
            records = ProxyRecords("127.0.0.22");
            return records.size() == 2 && records[1].closedByClient;
        },
        2000);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(records[0].closedByClient);
    EXPECT_TRUE(records[1].closedByClient);
}

TEST_F(TcpClientTest, SendsAllBytesAndRaisesDataArrivalWithTheReply) {
    SetProxyMode("127.0.0.21", "reply:0");
    Bytes payload;
    for (int i = 0; i < 3000; ++i) payload.push_back(static_cast<unsigned char>(i * 7));
    bool connected = false, sent = false;
    RunWhilePumping([&] {
        connected = TcpClientConnect("127.0.0.21", 80);
        sent = TcpClientSend(payload);
    });
    ASSERT_TRUE(connected);
    EXPECT_TRUE(sent);
    const std::string reply = "HTTP/1.0 400 Bad Request\r\n\r\n";
    std::string got;
    PumpUntil(
        [&] {
            got.clear();
            for (const Bytes& b : g_received) got.append(b.begin(), b.end());
            return got.size() >= reply.size();
        },
        2000);
    EXPECT_EQ(got, reply);
    for (const Bytes& b : g_received) EXPECT_FALSE(b.empty()) << "event raised without data";
    std::vector<ProxyConnection> records;
    PumpUntil(
        [&] {
            records = ProxyRecords("127.0.0.21");
            return records.size() == 1 && records[0].bytes.size() >= payload.size();
        },
        2000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].bytes, std::string(payload.begin(), payload.end()));
}

TEST_F(TcpClientTest, ClosedConnectionRaisesNoDataArrival) {
    SetProxyMode("127.0.0.23", "close");
    bool connected = false;
    RunWhilePumping([&] {
        connected = TcpClientConnect("127.0.0.23", 80);
        TcpClientSend(BlankBytes(32));
    });
    ASSERT_TRUE(connected);
    PumpFor(300);
    EXPECT_TRUE(g_received.empty());
}

// Each flood connection sends its own number; a connection replaced from another thread while
// its data streams in must never deliver a byte once the replacement connect has returned.
std::atomic<int> g_latestConnected{0};
std::atomic<int> g_staleChunks{0};
std::atomic<int> g_chunks{0};
void CheckTag(const Bytes& b) {
    const int latest = g_latestConnected.load();
    ++g_chunks;
    for (unsigned char tag : b)
        if (tag < latest || tag > latest + 1 || tag != b[0]) {
            ++g_staleChunks;
            break;
        }
}

TEST_F(TcpClientTest, ReplacedConnectionsNeverDeliverStaleData) {
    SetProxyMode("127.0.0.25", "flood");
    TcpClientCreate(CheckTag);
    g_latestConnected = 0;
    g_staleChunks = 0;
    g_chunks = 0;
    constexpr int kConnections = 120;
    int failures = 0;
    RunWhilePumping([&] {
        for (int k = 1; k <= kConnections; ++k) {
            if (!TcpClientConnect("127.0.0.25", 80)) ++failures;
            g_latestConnected = k;
            Sleep(k % 3 == 0 ? 0 : 4);  // some replaced at once, some after data arrived
        }
    });
    PumpFor(100);
    RunWhilePumping([] { TcpClientConnect(kRefusing, 80); });  // stop the last flood
    EXPECT_EQ(failures, 0);
    EXPECT_GT(g_chunks.load(), kConnections / 2) << "the flood should reach most connections";
    EXPECT_EQ(g_staleChunks.load(), 0);
    std::vector<ProxyConnection> records;
    PumpUntil(
        [&] {
            records = ProxyRecords("127.0.0.25");
            return records.size() == kConnections && records.back().closedByClient;
        },
        3000);
    ASSERT_EQ(records.size(), static_cast<size_t>(kConnections));
    for (const ProxyConnection& c : records) EXPECT_TRUE(c.closedByClient);
}

// ---- ProbeLatency ----------------------------------------------------------------------------------

struct LatencyCase {
    const char* ip;
    const char* mode;
    int minMs, maxMs;  // kNoReply for both when no reply is expected
    bool listens;
};

class ProbeLatencyTest : public ProbeTest, public testing::WithParamInterface<LatencyCase> {};

// GetTickCount moves in steps of ~15.6 ms: allow up to one step above the injected delay.
TEST_P(ProbeLatencyTest, MeasuresTheReplyWithTwoConnectionsAndAnOptionsRequest) {
    const LatencyCase& c = GetParam();
    if (c.listens) SetProxyMode(c.ip, c.mode);
    int latency = 0;
    const double ms = RunWhilePumping([&] { latency = Ms(ProbeLatency(c.ip, 80, 1)); });
    EXPECT_GE(latency, c.minMs);
    EXPECT_LE(latency, c.maxMs);
    if (!c.listens) {
        EXPECT_LT(ms, 900) << "a refused connect must not wait";
        return;
    }
    EXPECT_GE(ms, 1000) << "the full second is waited, also after an early reply";
    std::vector<ProxyConnection> records;
    PumpUntil(
        [&] {
            records = ProxyRecords(c.ip);
            return records.size() == 2 && records[1].bytes.size() >= kProbeRequest.size();
        },
        1000);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].bytes, "") << "the first connection only shows reachability";
    EXPECT_TRUE(records[0].closedByClient);
    EXPECT_EQ(records[1].bytes, kProbeRequest);
}

INSTANTIATE_TEST_SUITE_P(Modes, ProbeLatencyTest,
                         testing::Values(LatencyCase{"127.0.0.20", "reply:47", 47, kMax47, true},
                                         LatencyCase{"127.0.0.21", "reply:0", 0, 17, true},
                                         LatencyCase{"127.0.0.22", "silent", kNoReply, kNoReply, true},
                                         LatencyCase{"127.0.0.23", "close", kNoReply, kNoReply, true},
                                         LatencyCase{"127.0.0.24", "late", kNoReply, kNoReply, true},
                                         LatencyCase{"127.0.0.39", "", kNoReply, kNoReply, false}));

TEST_F(ProbeTest, LatencyDefaultsToFourAttemptsAndAveragesThem) {
    SetProxyMode("127.0.0.26", "reply:47");
    int latency = 0;
    const double ms = RunWhilePumping([&] { latency = Ms(ProbeLatency("127.0.0.26")); });
    EXPECT_GE(latency, 47);
    EXPECT_LE(latency, kMax47);
    EXPECT_GE(ms, 4000);
    const std::vector<ProxyConnection> records = ProxyRecords("127.0.0.26");
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].bytes, "");
    for (size_t i = 1; i < records.size(); ++i) EXPECT_EQ(records[i].bytes, kProbeRequest) << i;
}

TEST_F(ProbeTest, EmptyHostIsNoReplyWithoutWaiting) {
    int latency = 0;
    const double ms = RunWhilePumping([&] { latency = Ms(ProbeLatency("", 80, 1)); });
    EXPECT_EQ(latency, kNoReply);
    EXPECT_LT(ms, 900);
}

// The late proxy's answer reaches 客户1 after the probe gave up; the next probe must not take it
// for its own reply.
TEST_F(ProbeTest, AReplyAfterTheWaitDoesNotCountForTheNextProbe) {
    SetProxyMode("127.0.0.24", "late");
    SetProxyMode("127.0.0.22", "silent");
    int first = 0, second = 0;
    RunWhilePumping([&] { first = Ms(ProbeLatency("127.0.0.24", 80, 1)); });
    ASSERT_TRUE(PumpUntil([] { return ReplyArrived.load() == 1; }, 1000)) << "the late reply should arrive";
    RunWhilePumping([&] { second = Ms(ProbeLatency("127.0.0.22", 80, 1)); });
    EXPECT_EQ(first, kNoReply);
    EXPECT_EQ(second, kNoReply);
}

// ---- ProbeSelectedRow and the click handler ------------------------------------------------------

TEST_F(ProbeTest, HttpRowGetsItsDelayAndASecondProbeOverwritesIt) {
    SetProxyMode("127.0.0.27", "silent");
    ResetRows({{"127.0.0.28", "HTTP"}, {"127.0.0.27", "HTTP"}, {"127.0.0.29", "HTTP"}}, kOldDelay);
    RunWhilePumping([] { ProbeSelectedRow(1); });
    EXPECT_EQ(ListGetCell(1, 2), kTimeout);
    SetProxyMode("127.0.0.27", "reply:47");
    RunWhilePumping([] { ProbeSelectedRow(1); });
    const int ms = CellMs(ListGetCell(1, 2));
    EXPECT_GE(ms, 47) << ListGetCell(1, 2);
    EXPECT_LE(ms, kMax47) << ListGetCell(1, 2);
    EXPECT_EQ(ListGetCell(0, 2), "old");
    EXPECT_EQ(ListGetCell(2, 2), "old");
    EXPECT_EQ(ListGetCell(1, 0), "127.0.0.27");
    EXPECT_EQ(ProbeBusy.load(), 0);
}

TEST_F(ProbeTest, RowsThatAreNotExactlyHttpAreUntouchedAndNotContacted) {
    SetProxyMode("127.0.0.30", "reply:0");
    const Text types[] = {"HTTPS", "http", "HTTP ", " HTTP", "SOCKS5", ""};
    for (const Text& type : types) {
        ResetRows({{"127.0.0.30", type}}, kOldDelay);
        RunWhilePumping([] { ProbeSelectedRow(0); });
        EXPECT_EQ(ListGetCell(0, 2), "old") << "type '" << type << "'";
        EXPECT_EQ(ProbeBusy.load(), 0);
    }
    EXPECT_EQ(ProxyRecords("127.0.0.30").size(), 0u);
}

TEST_F(ProbeTest, RefusedProxyShowsTimeoutAtOnce) {
    ResetRows({{kRefusing, "HTTP"}}, kOldDelay);
    const double ms = RunWhilePumping([] { ProbeSelectedRow(0); });
    EXPECT_EQ(ListGetCell(0, 2), kTimeout);
    EXPECT_LT(ms, 900);
}

TEST_F(ProbeTest, ProbeWhileBusyReturnsAtOnceAndLeavesTheFlagToItsHolder) {
    SetProxyMode("127.0.0.31", "reply:0");
    ResetRows({{"127.0.0.31", "HTTP"}}, kOldDelay);
    ProbeBusy.store(1);
    const double ms = RunWhilePumping([] { ProbeSelectedRow(0); });
    EXPECT_EQ(ProbeBusy.load(), 1) << "only the probe that took the flag may clear it";
    EXPECT_EQ(ListGetCell(0, 2), "old");
    EXPECT_LT(ms, 900);
    EXPECT_EQ(ProxyRecords("127.0.0.31").size(), 0u);
}

TEST_F(ProbeTest, ClickProbesTheSelectedRowOnItsOwnThread) {
    SetProxyMode("127.0.0.32", "reply:47");
    ResetRows({{"127.0.0.33", "HTTP"}, {"127.0.0.32", "HTTP"}}, kOldDelay);
    SelectRow(SharedTestWindow().list, 1);
    OnProxyListClick();  // returns at once: the probe runs on its own thread
    EXPECT_EQ(ListGetCell(1, 2), "old");
    ASSERT_TRUE(PumpUntil([] { return ListGetCell(1, 2) != "old"; }, 5000));
    PumpUntil([] { return ProbeBusy.load() == 0; }, 1000);
    const int ms = CellMs(ListGetCell(1, 2));
    EXPECT_GE(ms, 47) << ListGetCell(1, 2);
    EXPECT_LE(ms, kMax47) << ListGetCell(1, 2);
    EXPECT_EQ(ListGetCell(0, 2), "old");
    EXPECT_EQ(ProxyRecords("127.0.0.32").size(), 2u);
}

TEST_F(ProbeTest, ClickWithoutSelectionStartsNothing) {
    SetProxyMode("127.0.0.34", "reply:0");
    ResetRows({{"127.0.0.34", "HTTP"}}, kOldDelay);
    SelectRow(SharedTestWindow().list, -1);
    OnProxyListClick();
    PumpFor(300);
    EXPECT_EQ(ListGetCell(0, 2), "old");
    EXPECT_EQ(ProbeBusy.load(), 0);
    EXPECT_EQ(ProxyRecords("127.0.0.34").size(), 0u);
}

TEST_F(ProbeTest, ClickWhileAProbeRunsChangesNothing) {
    SetProxyMode("127.0.0.35", "silent");
    SetProxyMode("127.0.0.36", "reply:0");
    ResetRows({{"127.0.0.35", "HTTP"}, {"127.0.0.36", "HTTP"}}, kOldDelay);
    SelectRow(SharedTestWindow().list, 0);
    OnProxyListClick();
    ASSERT_TRUE(PumpUntil([] { return ProbeBusy.load() == 1; }, 2000));
    SelectRow(SharedTestWindow().list, 1);
    OnProxyListClick();
    ASSERT_TRUE(PumpUntil([] { return ListGetCell(0, 2) != "old"; }, 5000));
    PumpFor(300);
    EXPECT_EQ(ListGetCell(0, 2), kTimeout);
    EXPECT_EQ(ListGetCell(1, 2), "old");
    EXPECT_EQ(ProxyRecords("127.0.0.36").size(), 0u);
    EXPECT_EQ(ProbeBusy.load(), 0);
}

// ---- Wait with event processing --------------------------------------------------------------------

TEST(WaitWithEvents, DispatchesThisThreadsMessagesOnlyWhenItWaits) {
    struct Case {
        int ms;
        bool dispatched;
    };
    const Case cases[] = {{0, false}, {-5, false}, {50, true}};
    for (const Case& c : cases) {
        static std::atomic<int> seen;
        seen = 0;
        DWORD elapsed = 0;
        std::thread([&] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                if (m == WM_APP) ++seen;
                return DefWindowProcW(h, m, w, l);
            };
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"WaitWithEventsTest";
            RegisterClassW(&wc);
            HWND own =
                CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
            PostMessageW(own, WM_APP, 0, 0);
            const DWORD start = GetTickCount();
            WaitWithEvents(c.ms);
            elapsed = GetTickCount() - start;
            DestroyWindow(own);
        }).join();
        EXPECT_EQ(seen.load() == 1, c.dispatched) << c.ms;
        if (c.ms > 0) {
            EXPECT_GT(elapsed, static_cast<DWORD>(c.ms));
        }
    }
}

}  // namespace
