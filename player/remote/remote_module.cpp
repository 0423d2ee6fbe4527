// The entry point of libchromola_remote.so: the remote's server.
#include <exception>
#include <type_traits>

#include "remote/remote_server.h"

extern "C" __attribute__((visibility("default"))) chromola::RemoteServer*
chromola_create_remote_server(chromola::RemoteHost& host) {
    static_assert(
        std::is_same_v<decltype(&chromola_create_remote_server), chromola::CreateRemoteServerFn>);
    try {
        return new chromola::RemoteHttpServer(host);  // the caller owns it
    } catch (const std::exception&) {
        return nullptr;
    }
}
