// Fuzz target: the URL helpers UrlHost, UrlPort, UrlPath and RedirectUrl.
//
// Input fields (separated by zero bytes): any URL text, a Location text, then the parts of a
// built URL: host (only its letters, digits, dots and hyphens are used), port, path, flags
// (bits 0-2 choose the scheme prefix: none, http://, https://, HTTP://, Https://).
//
// Properties, for any URL text:
// - UrlHost is lower-case and holds no '/'; without keepPort it is the keepPort host cut before
//   its first ':'; with lastTwoLabels it holds at most two labels.
// - UrlPort is the number after the host's last ':', else 443 for a URL starting with "https"
//   (any case) and 80 otherwise.
// - UrlPath is "/" or a tail of the URL that starts with '/'; RedirectUrl is the Location
//   followed by the URL's path.
// For a URL built from scheme, host, port and path, the helpers give those parts back: the host
// lower-cased, the port (or the scheme's default), the path in its own case ("/" when there is
// none). Two documented rules bend "a URL without scheme is http" (the program always passes
// the scheme): a URL whose first five characters read "https" counts as https, and a URL that
// holds "http://" anywhere is read from there.
#include <cstddef>
#include <cstdint>

#include "http/http_core.h"
#include "tests/fuzz/fuzz_support.h"

using namespace fuzz;

namespace {

// The text before its first ':' (at a character start), all of it without one.
std::string BeforeColon(const std::string& s) {
    const int colon = RefFind(s, ":");
    return colon == -1 ? s : s.substr(0, static_cast<std::size_t>(colon - 1));
}

void CheckAnyUrl(const Text& url, const Text& location) {
    const auto ctx = [&] { return "url=" + Show(url); };
    const Text host = UrlHost(url);
    const Text hostPort = UrlHost(url, false, true);
    const Text lastTwo = UrlHost(url, true, true);
    CHECK(RefLower(hostPort) == hostPort, "host not lower-case: " + Show(hostPort) + " " + ctx());
    CHECK(RefFind(hostPort, "/") == -1, "host holds a '/': " + Show(hostPort) + " " + ctx());
    CHECK(host == BeforeColon(hostPort),
          "host " + Show(host) + " is not the host with port " + Show(hostPort) + " cut at ':' " + ctx());
    CHECK(RefSplit(lastTwo, ".").size() <= 2, "more than two labels: " + Show(lastTwo) + " " + ctx());
    CHECK(UrlHost(url, true) == BeforeColon(lastTwo), "last two labels without port " + ctx());

    const int last = RefFindReverse(hostPort, ":");
    const int port = last == -1 ? (RefLower(url.substr(0, 5)) == "https" ? 443 : 80)
                                : RefToInt(hostPort.substr(static_cast<std::size_t>(last)));
    CHECK(UrlPort(url) == port,
          "UrlPort " + std::to_string(UrlPort(url)) + " want " + std::to_string(port) + " " + ctx());

    const Text path = UrlPath(url);
    CHECK(path == "/" || (path.starts_with("/") && url.ends_with(path)), "UrlPath " + Show(path) + " " + ctx());
    CHECK(RedirectUrl(location, url) == location + path, "RedirectUrl " + ctx() + " location=" + Show(location));
}

void CheckBuiltUrl(const Text& rawHost, OptInt port, const Text& rawPath, unsigned flags) {
    static const char* const kSchemes[] = {"", "http://", "https://", "HTTP://", "Https://"};
    const std::string scheme = kSchemes[(flags & 7u) % 5];
    std::string host;
    for (char c : rawHost)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-')
            host += c;
    if (host.empty()) host = "h";
    const std::string portText = port && *port >= 0 ? ":" + std::to_string(*port % 65536) : "";
    const std::string path = rawPath.empty() ? "" : "/" + rawPath;
    const Text url = scheme + host + portText + path;
    const auto ctx = [&] { return "url=" + Show(url); };

    if (scheme.empty() && RefFind(RefLower(url), "http://") > 0) return;
    const std::string lowerHost = RefLower(host);
    CHECK(UrlHost(url) == lowerHost, "UrlHost " + Show(UrlHost(url)) + " want " + Show(lowerHost) + " " + ctx());
    CHECK(UrlHost(url, false, true) == lowerHost + portText, "UrlHost keepPort " + ctx());
    // The labels are those of the host with its port (which stays on the last label).
    const std::vector<std::string> labels = RefSplit(lowerHost + portText, ".");
    std::string two = labels.size() > 1 ? labels[labels.size() - 2] + "." + labels.back() : lowerHost + portText;
    two = BeforeColon(two);
    CHECK(UrlHost(url, true) == two,
          "UrlHost lastTwoLabels " + Show(UrlHost(url, true)) + " want " + Show(two) + " " + ctx());
    const bool https = RefLower(url.substr(0, 5)) == "https";
    const int wantPort = port && *port >= 0 ? *port % 65536 : (https ? 443 : 80);
    CHECK(UrlPort(url) == wantPort, "UrlPort " + std::to_string(UrlPort(url)) + " " + ctx());
    const std::string wantPath = path.empty() ? "/" : path;
    CHECK(UrlPath(url) == wantPath, "UrlPath " + Show(UrlPath(url)) + " want " + Show(wantPath) + " " + ctx());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fields in(data, size);
    CheckAnyUrl(in.Get(0), in.Get(1));
    CheckBuiltUrl(in.Get(2), in.Number(3), in.Get(4), in.Bits(5));
    return 0;
}
