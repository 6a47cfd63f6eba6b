#include "script_runner.h"

#include <map>
#include <memory>

#include "lumivel/system_messages.h"
#include "lumivel/wide_string.h"
#include "win/com.h"
#include "win/errors.h"
#include "win/oleauto.h"

namespace lumivel::scheduler {
namespace {

struct Release {
    void operator()(IDispatch* object) const { object->Release(); }
};
using DispatchPointer = std::unique_ptr<IDispatch, Release>;

// Variable names ignore case, as VBScript's do.
struct NoCase {
    bool operator()(const std::u16string& a, const std::u16string& b) const { return AsciiCompareNoCase(a, b) < 0; }
};

std::u16string SystemText(HRESULT hr) { return SystemMessageText(static_cast<DWORD>(hr)); }

ScriptError Failure(const ScriptStatement& s, HRESULT code, std::u16string description) {
    return ScriptError{s.line, s.column, code, std::move(description)};
}

}  // namespace

std::optional<ScriptError> RunScript(const std::vector<ScriptStatement>& statements) {
    std::map<std::u16string, DispatchPointer, NoCase> objects;
    // Statements inside an If whose test failed are skipped, to the matching End If.
    size_t skipping = 0;
    for (const ScriptStatement& s : statements) {
        using Kind = ScriptStatement::Kind;
        if (skipping) {
            if (s.kind == Kind::IfIsObject) ++skipping;
            if (s.kind == Kind::EndIf) --skipping;
            continue;
        }
        switch (s.kind) {
            case Kind::CreateObject: {
                const std::u16string cannot = u"ActiveX component can't create object: '" + s.argument + u"'";
                CLSID clsid{};
                if (FAILED(CLSIDFromProgID(s.argument.c_str(), &clsid)))
                    return Failure(s, kScriptCannotCreateObject, cannot);
                IDispatch* created = nullptr;
                HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(&created));
                if (FAILED(hr) || !created) {
                    std::u16string why = SystemText(hr);
                    return Failure(s, kScriptCannotCreateObject, why.empty() ? cannot : cannot + u" (" + why + u")");
                }
                objects[s.variable] = DispatchPointer(created);
                break;
            }
            case Kind::IfIsObject:
                if (!objects.count(s.variable)) skipping = 1;
                break;
            case Kind::EndIf: break;
            case Kind::CallMethod: {
                auto found = objects.find(s.variable);
                if (found == objects.end()) return Failure(s, kScriptObjectRequired, u"Object required: '" + s.variable + u"'");
                IDispatch* object = found->second.get();
                std::u16string member = s.member;
                LPOLESTR names[] = {member.data()};
                DISPID id = DISPID_UNKNOWN;
                if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
                    return Failure(s, kScriptNoSuchMember,
                                   u"Object doesn't support this property or method: '" + s.variable + u"." + s.member + u"'");
                VARIANT argument;
                VariantInit(&argument);
                argument.vt = VT_BSTR;
                argument.bstrVal = SysAllocStringLen(s.argument.data(), static_cast<UINT>(s.argument.size()));
                if (!argument.bstrVal) return Failure(s, E_OUTOFMEMORY, SystemText(E_OUTOFMEMORY));
                DISPPARAMS parameters{&argument, nullptr, 1, 0};
                VARIANT result;
                VariantInit(&result);
                EXCEPINFO exception{};
                UINT badArgument = 0;
                HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &result,
                                            &exception, &badArgument);
                VariantClear(&argument);
                VariantClear(&result);
                std::u16string description = exception.bstrDescription ? exception.bstrDescription : u"";
                SysFreeString(exception.bstrSource);
                SysFreeString(exception.bstrDescription);
                SysFreeString(exception.bstrHelpFile);
                if (FAILED(hr)) {
                    const HRESULT code = hr == DISP_E_EXCEPTION && FAILED(exception.scode) ? exception.scode : hr;
                    if (description.empty()) description = SystemText(code);
                    if (description.empty()) description = u"'" + s.variable + u"." + s.member + u"' failed";
                    return Failure(s, code, description);
                }
                break;
            }
        }
    }
    return std::nullopt;
}

}  // namespace lumivel::scheduler
