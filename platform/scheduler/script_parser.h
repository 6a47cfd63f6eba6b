// The script language of the script host (scheduler area only): the part of VBScript that the
// generated backup scripts use, and nothing else.
//
//     Set oObject = CreateObject("RevivoProvider.Revivo")
//     If IsObject(oObject) Then
//        oObject.BackupObjects "CN=A ""quoted"" name,DC=example,DC=test"
//     End If
//
// Keywords and names ignore case; strings double their quotes; blank lines and comments
// (' and Rem) are allowed, and a comment may follow a statement. "If" blocks may nest (up to
// 64 deep). A method call takes one string, with or without parentheses. Anything else is
// refused with VBScript's compilation error and its position before any statement runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel::scheduler {

struct ScriptStatement {
    enum class Kind { CreateObject, IfIsObject, EndIf, CallMethod } kind;
    int line = 0;
    int column = 0;
    std::u16string variable;
    std::u16string member;    // CallMethod: the method
    std::u16string argument;  // CreateObject: the ProgID; CallMethod: the string
};

struct ScriptError {
    int line = 0;    // 1-based
    int column = 0;  // 1-based
    HRESULT code = 0;
    std::u16string description;
};

struct ParsedScript {
    std::vector<ScriptStatement> statements;
    std::optional<ScriptError> error;
};

// The script file's bytes: UTF-8, optionally with its byte-order mark, or UTF-16LE with one.
ParsedScript ParseScript(std::string_view bytes);

// VBScript's error numbers for the errors of this language, as HRESULTs (0x800A....).
inline constexpr HRESULT kScriptSyntaxError = static_cast<HRESULT>(0x800A03EA);
inline constexpr HRESULT kScriptExpectedOpenParen = static_cast<HRESULT>(0x800A03ED);
inline constexpr HRESULT kScriptExpectedCloseParen = static_cast<HRESULT>(0x800A03EE);
inline constexpr HRESULT kScriptExpectedIdentifier = static_cast<HRESULT>(0x800A03F2);
inline constexpr HRESULT kScriptExpectedEquals = static_cast<HRESULT>(0x800A03F3);
inline constexpr HRESULT kScriptExpectedIf = static_cast<HRESULT>(0x800A03F4);
inline constexpr HRESULT kScriptExpectedEnd = static_cast<HRESULT>(0x800A03F6);
inline constexpr HRESULT kScriptExpectedThen = static_cast<HRESULT>(0x800A03F9);
inline constexpr HRESULT kScriptExpectedStatement = static_cast<HRESULT>(0x800A0400);
inline constexpr HRESULT kScriptExpectedEndOfStatement = static_cast<HRESULT>(0x800A0401);
inline constexpr HRESULT kScriptIdentifierTooLong = static_cast<HRESULT>(0x800A0406);
inline constexpr HRESULT kScriptInvalidCharacter = static_cast<HRESULT>(0x800A0408);
inline constexpr HRESULT kScriptUnterminatedString = static_cast<HRESULT>(0x800A0409);
inline constexpr HRESULT kScriptObjectRequired = static_cast<HRESULT>(0x800A01A8);
inline constexpr HRESULT kScriptCannotCreateObject = static_cast<HRESULT>(0x800A01AD);
inline constexpr HRESULT kScriptNoSuchMember = static_cast<HRESULT>(0x800A01B6);

}  // namespace lumivel::scheduler
