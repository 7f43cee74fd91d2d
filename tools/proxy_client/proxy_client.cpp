// proxy_client URL
// A WinInet client that uses the per-user system proxy exactly as other programs do: it opens
// WinInet with INTERNET_OPEN_TYPE_PRECONFIG, fetches URL without the cache and prints
//   status <code>
//   <body>
// Exit code 0 when a response arrived, 1 when the request failed (the WinInet error is printed).
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

namespace {

struct InternetHandle {
    HINTERNET h = nullptr;
    explicit InternetHandle(HINTERNET handle) : h(handle) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() {
        if (h) InternetCloseHandle(h);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: proxy_client URL\n");
        return 2;
    }
    InternetHandle session(InternetOpenA("proxy_client", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.h) {
        printf("error InternetOpenA %lu\n", GetLastError());
        return 1;
    }
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
    InternetHandle request(InternetOpenUrlA(session.h, argv[1], nullptr, 0, flags, 0));
    if (!request.h) {
        printf("error InternetOpenUrlA %lu\n", GetLastError());
        return 1;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        printf("error HttpQueryInfoA %lu\n", GetLastError());
        return 1;
    }
    std::string body;
    char buffer[4096];
    DWORD got = 0;
    while (InternetReadFile(request.h, buffer, sizeof buffer, &got) && got > 0) body.append(buffer, got);
    printf("status %lu\n%s", status, body.c_str());
    return 0;
}
