#pragma once
// The one walk over what the system's resolver gives, for both platforms' socket files: each
// passes its own getaddrinfo, getnameinfo and freeaddrinfo, which have the same shape on both.

#include <cstring>
#include <string>
#include <vector>

#include "net/socket.h"

// Every address of `host` with `port`, in the resolver's order: `AddressInfo` is the system's
// addrinfo, `numericHost` its NI_NUMERICHOST.
template <class AddressInfo, class Resolve, class NameOf, class Free>
std::vector<SocketAddress> ResolveEntries(const std::string& host, std::uint16_t port,
                                          int streamType, Resolve resolve, NameOf nameOf, Free free,
                                          int numericHost) {
    std::vector<SocketAddress> addresses;
    AddressInfo hints{};
    hints.ai_family = 0;  // any family: IPv4 and IPv6
    hints.ai_socktype = streamType;
    AddressInfo* found = nullptr;
    if (resolve(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return addresses;
    }
    for (const AddressInfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        SocketAddress address;
        if (entry->ai_addrlen > sizeof address.bytes) {
            continue;
        }
        std::memcpy(address.bytes, entry->ai_addr, entry->ai_addrlen);
        address.length = static_cast<int>(entry->ai_addrlen);
        address.family = entry->ai_family;
        char text[1025] = "";  // NI_MAXHOST on both
        nameOf(entry->ai_addr, static_cast<decltype(address.length)>(entry->ai_addrlen), text,
               sizeof text, nullptr, 0, numericHost);
        address.text = text;
        addresses.push_back(address);
    }
    free(found);
    return addresses;
}
