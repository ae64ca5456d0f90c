// Lumora's start-up on the network of scripts/wine-session: a namespace whose
// veth holds the address the host name resolves to, with the one change Wine
// needs, a raw socket for UDP without receive-all mode. The capture tests and
// the readiness tests start Lumora through it and send it datagrams.
#pragma once

#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/startup.h"
#include "gui_test_support.h"
#include "packet_builder.h"
#include "resource.h"
#include "ui/up_dialog.h"

inline constexpr CaptureSocketSetup kWineSetup = {IPPROTO_UDP, false};

class LumoraOnItsNetwork : public ::testing::Test {
protected:
    static constexpr int kHostNameBytes = 256;

    void SetUp() override {
        // Our own reference on the socket library: Lumora drops its own after end code 1.
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
        // Lumora ends silently when its host name does not resolve; the test says so.
        char name[kHostNameBytes] = "";
        gethostname(name, sizeof name);
        const hostent* resolved = gethostbyname(name);
        const std::string session = ": run the suite through scripts/wine-session, which gives it an /etc/hosts";
        ASSERT_NE(resolved, nullptr) << "the host name '" << name << "' does not resolve (Winsock error "
                                     << WSAGetLastError() << "), so Lumora cannot start" << session;
        const char* expected = std::getenv("LUMORA_HOST_ADDRESS");
        ASSERT_NE(expected, nullptr) << "no LUMORA_HOST_ADDRESS" << session;
        host.sin_family = AF_INET;
        host.sin_addr = *reinterpret_cast<const in_addr*>(resolved->h_addr_list[0]);
        // Traffic stays in the namespace. Bound to a loopback address (Debian's
        // 127.0.1.1 line), Lumora would judge the loopback adapter, and Wine
        // would send from 127.0.0.1 so that every report names another source.
        ASSERT_STREQ(inet_ntoa(host.sin_addr), expected)
            << "the host name '" << name << "' resolves to another address than the namespace's own" << session;
        sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        ASSERT_NE(sender, INVALID_SOCKET);
        ASSERT_EQ(bind(sender, reinterpret_cast<const sockaddr*>(&host), sizeof host), 0);
    }
    void TearDown() override {
        if (sender != INVALID_SOCKET) closesocket(sender);
        WSACleanup();
    }
    // Lumora's own set-up steps; RunCaptureDialog then closes the socket again
    // when the test closes it under the worker (end code 1).
    void OpenCapture() {
        ASSERT_TRUE(OpenCaptureSocket(kWineSetup, &capture));
        sockaddr_in bound{};
        int size = sizeof bound;
        ASSERT_EQ(getsockname(capture, reinterpret_cast<sockaddr*>(&bound), &size), 0);
        ASSERT_EQ(bound.sin_addr.s_addr, host.sin_addr.s_addr);
    }
    void SendTo(int port, const packet::Bytes& payload) {
        sockaddr_in to = host;
        to.sin_port = htons(static_cast<u_short>(port));
        sendto(sender, reinterpret_cast<const char*>(payload.data()), static_cast<int>(payload.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    static std::vector<std::string> Reports(HWND dialog) {
        return packet::SplitReports(WindowText(GetDlgItem(dialog, IDC_LOG)));
    }

    SOCKET capture = INVALID_SOCKET;
    SOCKET sender = INVALID_SOCKET;
    sockaddr_in host{};
};
