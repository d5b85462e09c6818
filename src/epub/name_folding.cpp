#include "epub/name_folding.h"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>

namespace pagelume::epub {

namespace {

bool toUtf16(const std::string& in, std::u16string& out) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, in.data(), static_cast<int32_t>(in.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return false;
    out.assign(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), length, &length, in.data(), static_cast<int32_t>(in.size()), &status);
    return U_SUCCESS(status);
}

bool toUtf8(const std::u16string& in, std::string& out) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(nullptr, 0, &length, in.data(), static_cast<int32_t>(in.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return false;
    out.assign(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), length, &length, in.data(), static_cast<int32_t>(in.size()), &status);
    return U_SUCCESS(status);
}

// Calls an ICU function of the usual (source, dest, capacity, status) shape
// twice: once for the length, once for the text.
template <typename Call>
bool transform(const std::u16string& in, std::u16string& out, Call call) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = call(in, nullptr, 0, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return false;
    out.assign(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    call(in, out.data(), length, &status);
    return U_SUCCESS(status);
}

bool normalize(const std::u16string& in, std::u16string& out) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status))
        return false;
    return transform(
        in, out, [nfc](const std::u16string& s, UChar* dest, int32_t cap, UErrorCode* st) {
            return unorm2_normalize(nfc, s.data(), static_cast<int32_t>(s.size()), dest, cap, st);
        });
}

}  // namespace

std::string composedName(const std::string& utf8) {
    std::u16string wide, composed;
    std::string out;
    if (!toUtf16(utf8, wide) || !normalize(wide, composed) || !toUtf8(composed, out))
        return utf8;
    return out;
}

std::string foldedName(const std::string& utf8) {
    std::u16string wide, composed, folded, key;
    std::string out;
    // Folding can decompose (and some folds need composed input), so the
    // name is normalized on both sides of it.
    if (!toUtf16(utf8, wide) || !normalize(wide, composed) ||
        !transform(composed, folded,
                   [](const std::u16string& s, UChar* dest, int32_t cap, UErrorCode* st) {
                       return u_strFoldCase(dest, cap, s.data(), static_cast<int32_t>(s.size()),
                                            U_FOLD_CASE_DEFAULT, st);
                   }) ||
        !normalize(folded, key) || !toUtf8(key, out))
        return utf8;
    return out;
}

}  // namespace pagelume::epub
