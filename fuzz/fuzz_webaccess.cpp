// SPDX-License-Identifier: MIT
// The web page's access rules under arbitrary request headers: a Cookie header, a Host header
// and an Origin header, cut from the input at its first two NUL bytes.
//
// Checked: a cookie lets a request in only when it carries exactly this panel's key; a key in
// the address is judged on its own, whatever the cookie says; an origin is the page's own only
// when it is http:// and the Host header; a loopback host is one whose name or address says
// so, never a name; a cookie's value never runs into the next cookie.

#include "webaccess.h"

#include <QByteArray>
#include <QHostAddress>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

const QByteArray key = "00112233445566778899aabbccddeeff";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\0');
    const QByteArray cookie = parts.value(0);
    const QByteArray host = parts.value(1);
    const QByteArray origin = parts.value(2);

    using namespace webaccess;
    const QByteArray name = cookieName(8080);
    const QByteArray value = cookieValue(cookie, name);
    require(!value.contains(';'));
    const KeyCheck byCookie = checkKey(true, key, nullptr, cookie, name);
    require(byCookie.allowed() == (value == key));
    const KeyCheck byAddress = checkKey(true, key, &origin, cookie, name);
    require(byAddress.allowed() == (origin == key));
    require(checkKey(false, key, &origin, cookie, name).allowed());

    if (sameOrigin(origin, host))
        require(origin.trimmed().toLower() == "http://" + host.trimmed().toLower());
    if (isLoopbackHost(host)) {
        // An address or "localhost", never a name that some server could point anywhere.
        QByteArray rest = host.trimmed().toLower();
        rest.replace("localhost", "");
        for (const char c : rest)
            require((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == 'x' || c == '.' ||
                    c == ':' || c == '[' || c == ']');
    }
    return 0;
}
