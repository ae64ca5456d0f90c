// Builds the datagrams the tests feed to Lumora: magic-packet payloads and
// IPv4 datagram images as a raw socket delivers them.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "analysis/magic_packet.h"

namespace packet {

using Bytes = std::vector<unsigned char>;

constexpr int kIpHeaderLength = 20;
constexpr int kUdpHeaderLength = 8;
constexpr unsigned char kTestMac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

// Six 0xFF and sixteen copies of the MAC, with an optional prefix and password.
inline Bytes MagicPayload(const Bytes& prefix = {}, const Bytes& password = {},
                          const unsigned char* mac = kTestMac) {
    Bytes p = prefix;
    p.insert(p.end(), 6, 0xFF);
    for (int i = 0; i < 16; ++i) p.insert(p.end(), mac, mac + 6);
    p.insert(p.end(), password.begin(), password.end());
    return p;
}

// A 20-byte IPv4 header, the UDP header and the payload; udpLength < 0
// takes the true length.
inline Bytes Datagram(const Bytes& payload, int destPort = 9, int protocol = 17, int udpLength = -1) {
    if (udpLength < 0) udpLength = kUdpHeaderLength + static_cast<int>(payload.size());
    Bytes d(kIpHeaderLength + kUdpHeaderLength, 0);
    d[0] = 0x45;
    d[9] = static_cast<unsigned char>(protocol);
    const unsigned char src[4] = {192, 168, 1, 20}, dst[4] = {192, 168, 1, 255};
    std::memcpy(&d[12], src, 4);
    std::memcpy(&d[16], dst, 4);
    d[20] = 0xC3; d[21] = 0x50;  // source port 50000
    d[22] = static_cast<unsigned char>(destPort >> 8);
    d[23] = static_cast<unsigned char>(destPort);
    d[24] = static_cast<unsigned char>(udpLength >> 8);
    d[25] = static_cast<unsigned char>(udpLength);
    d[26] = 0xAB; d[27] = 0xCD;  // checksum 43981
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

inline std::string Hex(unsigned char byte) {
    const char digits[] = "0123456789ABCDEF";
    return {digits[byte >> 4], digits[byte & 15]};
}

// The text between `heading` and the end of its line in a report.
inline std::string Section(const std::string& report, const std::string& heading) {
    const auto at = report.find(heading);
    if (at == std::string::npos) return "";
    const auto end = report.find("\r\n", at + heading.size());
    return report.substr(at + heading.size(), end - at - heading.size());
}

// Splits a log into its reports, each starting at the banner.
inline std::vector<std::string> SplitReports(const std::string& log) {
    const std::string banner = "---------------------------Wake-On-LAN Magic Packet";
    std::vector<std::string> reports;
    for (auto at = log.find(banner); at != std::string::npos;) {
        const auto next = log.find(banner, at + 1);
        reports.push_back(log.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return reports;
}

// A receive time that pins the report's time line: 03/07/26 21:05:03.
inline std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 21;
    t.tm_min = 5;
    t.tm_sec = 3;
    return t;
}

using Formatter = bool (*)(char* report, const unsigned char* bytes, int length, const std::tm& received);

// Formats from an exact-size heap copy, so the sanitizers see any read past
// the packet and any write past the 65,536-byte report buffer.
inline bool FormatCopy(Formatter format, const Bytes& bytes, std::string* text) {
    Bytes copy(bytes);
    std::vector<char> report(kReportBufferSize, 'x');
    if (!format(report.data(), copy.empty() ? nullptr : copy.data(), static_cast<int>(copy.size()), FixedTime()))
        return false;
    const void* end = std::memchr(report.data(), '\0', report.size());
    EXPECT_NE(end, nullptr) << "report not terminated within the buffer";
    if (end != nullptr) text->assign(report.data(), static_cast<std::size_t>(static_cast<const char*>(end) - report.data()));
    return true;
}

// The report of a packet that must be reported.
inline std::string ReportOf(Formatter format, const Bytes& bytes) {
    std::string text;
    EXPECT_TRUE(FormatCopy(format, bytes, &text));
    return text;
}

}  // namespace packet
