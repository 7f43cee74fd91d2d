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

#include "text/owned_handle.h"

namespace {

using InternetHandle = OwnedHandle<HINTERNET, InternetCloseHandle>;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: proxy_client URL\n");
        return 2;
    }
    InternetHandle session(InternetOpenA("proxy_client", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.get()) {
        printf("error InternetOpenA %lu\n", GetLastError());
        return 1;
    }
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
    InternetHandle request(InternetOpenUrlA(session.get(), argv[1], nullptr, 0, flags, 0));
    if (!request.get()) {
        printf("error InternetOpenUrlA %lu\n", GetLastError());
        return 1;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        printf("error HttpQueryInfoA %lu\n", GetLastError());
        return 1;
    }
    std::string body;
    char buffer[4096];
    DWORD got = 0;
    while (InternetReadFile(request.get(), buffer, sizeof buffer, &got) && got > 0) body.append(buffer, got);
    printf("status %lu\n%s", status, body.c_str());
    return 0;
}
