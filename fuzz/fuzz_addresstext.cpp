// The address box's text conversion (what its Address property is given) under arbitrary text.
//
// Checked: a failure is always one of the numbered errors the box documents, never another
// exception or a crash; an accepted address prints back as text that converts to the same
// value; a part of plain decimal digits converts to its value or fails with Overflow; pasted
// text is taken only when it is a plain dotted address, the same one the property reads.

#include "addresstext.h"
#include "errortrap.h"
#include "fuzztext.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool isAddressError(int number)
{
    return number == AddressError::Overflow || number == AddressError::TypeMismatch ||
           number == AddressError::BadFormat;
}

template <typename Conversion>
auto attempt(Conversion &&conversion, int *error) -> std::optional<decltype(conversion())>
{
    try {
        return conversion();
    } catch (const NumberedError &e) {
        require(isAddressError(e.number()));
        *error = e.number();
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString text = fuzzText(data, size);

    int error = 0;
    const auto dots = attempt([&] { return CountIF(text, u"."); }, &error);
    require(dots.has_value() && *dots == text.count(u'.'));

    error = 0;
    const auto packed = attempt([&] { return AddressTextToPacked(text); }, &error);
    if (packed) {
        const QString printed = PackedToAddressText(*packed);
        int again = 0;
        require(attempt([&] { return AddressTextToPacked(printed); }, &again) == packed);
    } else {
        require(error != AddressError::BadFormat || *dots < 3);
    }

    error = 0;
    const auto byte = attempt([&] { return AddressPartToByte(text); }, &error);
    bool allDigits = !text.isEmpty() && text.size() <= 9;
    for (QChar c : text)
        allDigits = allDigits && c >= u'0' && c <= u'9';
    if (allDigits) {
        const int value = text.toInt();
        if (value <= 255)
            require(byte == quint8(value));
        else
            require(!byte && error == AddressError::Overflow);
    }

    // What paste takes is always something the property takes too, with the same value.
    if (const auto pasted = PastedAddressToPacked(text)) {
        int failed = 0;
        const QString trimmed = text.trimmed();
        require(attempt([&] { return AddressTextToPacked(trimmed); }, &failed) == pasted);
        require(PastedAddressToPacked(PackedToAddressText(*pasted)) == pasted);
    }
    return 0;
}
