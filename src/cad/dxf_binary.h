// Binary DXF, shared by the reader and the writer: the sentinel that starts a file and the
// form in which a group's value stands, by its group code.
#pragma once

#include <QByteArrayView>
#include <array>
#include <utility>

namespace tolvane::cad::dxfbinary {

// How a group's value stands in the file. In an ASCII file every value is text; in a binary
// file the group code says: text ends with a zero byte, numbers are little-endian of a fixed
// width (raw holds their bytes, its size the width), binary chunks have a length byte.
enum class Form : quint8 { Text, Real, Integer, Chunk };

inline constexpr QByteArrayView kBinarySentinel("AutoCAD Binary DXF\r\n\x1a\0", 22);

// The form and width of a binary group's value by its code, as the DXF reference gives them
// (width 0: text or chunk).
inline std::pair<Form, int> formOfCode(int code) {
    if (code >= 10 && code <= 59) return {Form::Real, 8};
    if (code >= 60 && code <= 79) return {Form::Integer, 2};
    if (code >= 90 && code <= 99) return {Form::Integer, 4};
    if ((code >= 110 && code <= 149) || (code >= 210 && code <= 239) ||
        (code >= 460 && code <= 469) || (code >= 1010 && code <= 1059))
        return {Form::Real, 8};
    if (code >= 160 && code <= 169) return {Form::Integer, 8};
    if ((code >= 170 && code <= 179) || (code >= 270 && code <= 289) ||
        (code >= 370 && code <= 389) || (code >= 400 && code <= 409) ||
        (code >= 1060 && code <= 1070))
        return {Form::Integer, 2};
    if (code >= 290 && code <= 299) return {Form::Integer, 1};
    if ((code >= 420 && code <= 429) || (code >= 440 && code <= 459) || code == 1071)
        return {Form::Integer, 4};
    if ((code >= 310 && code <= 319) || code == 1004) return {Form::Chunk, 0};
    return {Form::Text, 0};
}

// The same, looked up in a table: a binary file is read a group at a time.
inline std::pair<Form, int> binaryForm(int code) {
    struct Table {
        std::array<quint8, 1077> forms;
        Table() {
            for (int c = -5; c <= 1071; ++c) {
                const auto [form, width] = formOfCode(c);
                forms[size_t(c + 5)] = quint8(int(form) | (width << 4));
            }
        }
    };
    static const Table table;
    const quint8 f = code >= -5 && code <= 1071 ? table.forms[size_t(code + 5)] : 0;
    return {Form(f & 15), f >> 4};
}

}  // namespace tolvane::cad::dxfbinary
