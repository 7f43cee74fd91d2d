// 客户1 looks a host name up as the characters it is, whatever the system's code page: run with a
// non-936 ANSI code page (the test's environment sets LC_ALL), a name in full-width digits - GBK
// bytes A3 B1 ... - resolves (name lookup folds full-width forms to ASCII) and connects.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "probe/tcp_client.h"

namespace {

void Ignore(const Bytes&) {}

TEST(GbkHost, AFullWidthNameConnects) {
    ASSERT_NE(GetACP(), 936u) << "meaningful only where the ANSI code page is not GBK";
    // The component's window belongs to this thread: its connects need no message loop here.
    ASSERT_TRUE(TcpClientCreate(Ignore));
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    int size = sizeof at;
    getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size);
    const int port = ntohs(at.sin_port);

    // １２７．０．０．１ in GBK
    const Text fullWidth = "\xA3\xB1\xA3\xB2\xA3\xB7\xA3\xAE\xA3\xB0\xA3\xAE\xA3\xB0\xA3\xAE\xA3\xB1";
    EXPECT_TRUE(TcpClientConnect(fullWidth, port));
    EXPECT_TRUE(TcpClientConnect("localhost", port));
    EXPECT_FALSE(TcpClientConnect("\xB1\xBE\xBB\xFA.invalid", port));  // 本机.invalid: no such name
    TcpClientDisconnect();
    closesocket(listener);
}

}  // namespace
