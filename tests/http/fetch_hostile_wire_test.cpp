// FetchUrl against hostile answers of the loopback fixture: an announced length far beyond what
// comes, and redirects that WinInet follows by itself (the harvest's calls: noRedirect absent).
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "http/fetch.h"
#include "tools/http_fixture/fixture_client.h"

namespace {

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// FetchUrl on a thread of its own, given `seconds` to return; nullopt when it did not (the thread
// is then left running: a fetch that never ends must not hang the whole test program).
struct Bounded {
    Text url;
    Bytes result;
};
DWORD WINAPI RunFetch(LPVOID p) {
    auto* b = static_cast<Bounded*>(p);
    b->result = FetchUrl(b->url);
    return 0;
}
std::optional<Bytes> FetchWithin(const Text& url, DWORD seconds) {
    auto* b = new Bounded{url, {}};  // leaked when the fetch does not return
    HANDLE thread = CreateThread(nullptr, 0, RunFetch, b, 0, nullptr);
    const bool done = WaitForSingleObject(thread, seconds * 1000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (!done) return std::nullopt;
    Bytes result = std::move(b->result);  // moved: the capacity the fetch left is kept
    delete b;
    return result;
}

// "Content-Length: 2000000000" over a short body: the body is read whole and the buffer kept
// for it is sized by what came, not by what was announced (the returned body's capacity is the
// room the fetch reserved: before, 64 MB per fetch).
TEST(FetchHostile, AnnouncedLengthFarBeyondTheBodyReservesNoMoreThanItsBound) {
    const std::string body(3000, 'b');
    ScriptResponse("cl2g", "HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\nConnection: close\r\n\r\n" + body);
    const std::optional<Bytes> got = FetchWithin(FixtureUrl("cl2g"), 30);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(AsString(*got), body);
    EXPECT_LE(got->capacity(), 1u << 20);

    // An honest length up to the bound is still reserved whole: a large body is not regrown.
    const std::string big(600 * 1024, 'x');
    ScriptResponse("cl600k", HttpResponse("HTTP/1.1 200 OK", "", big));
    const Bytes large = FetchUrl(FixtureUrl("cl600k"));
    EXPECT_EQ(large.size(), big.size());
    EXPECT_EQ(large.capacity(), big.size());
}

// WinInet follows 301, 302 and the rest by itself when noRedirect is absent; those follows count
// toward the same bound of ten as the program's own: ten are made, an eleventh is not, and at the
// bound the result is empty.
TEST(FetchHostile, RedirectsWinInetFollowsByItselfStopAtTheBound) {
    const auto chain = [](const std::string& prefix, int redirects, const char* status) {
        for (int i = 0; i < redirects; ++i)
            ScriptResponse(
                prefix + std::to_string(i),
                HttpResponse(status, "Location: " + FixtureUrl(prefix + std::to_string(i + 1), "/p") + "\r\n", ""));
        ScriptResponse(prefix + std::to_string(redirects), HttpResponse("HTTP/1.1 200 OK", "", "end of " + prefix));
        return FetchWithin(FixtureUrl(prefix + "0", "/p"), 30);
    };
    const std::optional<Bytes> ten = chain("wten", 10, "HTTP/1.1 302 Found");
    ASSERT_TRUE(ten.has_value());
    EXPECT_EQ(AsString(*ten), "end of wten");
    EXPECT_EQ(RecordedRequests("wten10").size(), 1u);

    const std::optional<Bytes> eleven = chain("weleven", 11, "HTTP/1.1 301 Moved Permanently");
    ASSERT_TRUE(eleven.has_value());
    EXPECT_EQ(AsString(*eleven), "");
    EXPECT_EQ(RecordedRequests("weleven10").size(), 1u);
    EXPECT_TRUE(RecordedRequests("weleven11").empty()) << "an eleventh redirect was followed";
}

// A part whose 301 names itself: 1 + 10 requests, then an empty result, also with ten such
// fetches at once; a fetch of another URL afterwards still works.
TEST(FetchHostile, A301ToItselfIsAskedElevenTimes) {
    ScriptResponse("self",
                   HttpResponse("HTTP/1.1 301 Moved Permanently", "Location: " + FixtureUrl("self") + "\r\n", ""));
    const std::optional<Bytes> got = FetchWithin(FixtureUrl("self"), 30);
    ASSERT_TRUE(got.has_value()) << "the fetch did not end; requests so far: " << RecordedRequests("self").size();
    EXPECT_EQ(AsString(*got), "");
    EXPECT_EQ(RecordedRequests("self").size(), 11u);

    HANDLE threads[10];
    auto* fetches = new Bounded[10];  // leaked when the fetches do not return
    for (int i = 0; i < 10; ++i) {
        const std::string id = "self" + std::to_string(i);
        ScriptResponse(id, HttpResponse("HTTP/1.1 301 Moved Permanently", "Location: " + FixtureUrl(id) + "\r\n", ""));
        fetches[i].url = FixtureUrl(id);
        threads[i] = CreateThread(nullptr, 0, RunFetch, &fetches[i], 0, nullptr);
    }
    ASSERT_EQ(WaitForMultipleObjects(10, threads, TRUE, 30000), WAIT_OBJECT_0);
    for (int i = 0; i < 10; ++i) {
        CloseHandle(threads[i]);
        EXPECT_EQ(AsString(fetches[i].result), "");
        EXPECT_EQ(RecordedRequests("self" + std::to_string(i)).size(), 11u) << i;
    }
    delete[] fetches;

    ScriptResponse("after", HttpResponse("HTTP/1.1 200 OK", "", "still fetching"));
    EXPECT_EQ(AsString(FetchUrl(FixtureUrl("after"))), "still fetching");
}

}  // namespace
