#include "bitlocker.h"

#include <string>

#include "wmi_management.h"

namespace kestrel {

namespace {

// The provider's namespace, at the authentication level it requires
// ("Win32_EncryptableVolume class", Microsoft Learn). This 32-bit program
// reaches the 64-bit provider of a 64-bit Windows through WMI, which serves
// a client from the provider that is registered when there is only one
// ("Requesting WMI Data on a 64-bit Platform"); the release checklist's
// BitLocker step shows it on a real machine.
constexpr wchar_t kNamespace[] =
    L"winmgmts:{impersonationLevel=impersonate,authenticationLevel=pktPrivacy}!"
    L"\\\\.\\root\\CIMV2\\Security\\MicrosoftVolumeEncryption";
// WBEM_E_INVALID_NAMESPACE: no such namespace on this machine.
constexpr HRESULT kNoNamespace = HRESULT(0x8004100E);
// wbemFlagReturnImmediately + wbemFlagForwardOnly, as the probe's query.
constexpr std::int32_t kQueryFlags = 48;

// A WMI method's uint32 result; `fallback` when it is not one.
LONG Number(const VARIANT& value, LONG fallback)
{
    if (value.vt == VT_I4 || value.vt == VT_UI4) return value.lVal;
    return fallback;
}

}  // namespace

VolumeProtection BitLocker::Protection()
{
    com::Ref<IDispatch> service;
    const HRESULT bound = CoGetObject(kNamespace, nullptr, IID_IDispatch, reinterpret_cast<void**>(service.put()));
    if (bound == kNoNamespace) return VolumeProtection::Absent;
    if (FAILED(bound) || !service) return VolumeProtection::Unknown;
    // The drive of the Windows folder, as the system gives it (never the
    // environment's SystemDrive, which a caller sets).
    wchar_t windows[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n < 2 || n >= MAX_PATH || windows[1] != L':') return VolumeProtection::Unknown;
    std::u16string wql = u"Select * from Win32_EncryptableVolume where DriveLetter='";
    wql += char16_t(windows[0]);
    wql += u":'";
    const auto volumes = ExecQuery(service.get(), wql, kQueryFlags);
    com::Variant enumerator, item;
    if (!volumes || FAILED(com::InvokeId(volumes.get(), DISPID_NEWENUM, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr,
                                         0, enumerator)))
        return VolumeProtection::Unknown;
    const auto walk = com::QueryFromVariant<IEnumVARIANT>(*enumerator, IID_IEnumVARIANT);
    ULONG fetched = 0;
    const HRESULT next = walk ? walk->Next(1, item.put(), &fetched) : E_POINTER;
    // Not an encryptable volume: nothing there for BitLocker to lock.
    if (next == S_FALSE || (next == S_OK && fetched == 0)) return VolumeProtection::Absent;
    if (FAILED(next)) return VolumeProtection::Unknown;
    volume_ = com::QueryFromVariant<IDispatch>(*item, IID_IDispatch);
    // GetProtectionStatus(out ProtectionStatus), then, where that is off,
    // GetConversionStatus(out ConversionStatus, out EncryptionPercentage):
    // ProtectionOf tells off from a volume still encrypting. An out
    // parameter is passed by reference, as a script passes it.
    com::Variant status[2];
    VARIANT out[2];
    for (int i = 0; i < 2; ++i) {
        out[i].vt = VT_BYREF | VT_VARIANT;
        out[i].pvarVal = status[i].get();
    }
    if (!Call(L"GetProtectionStatus", out, 1)) return VolumeProtection::Unknown;
    const auto protection = std::uint32_t(Number(*status[0], -1));
    if (protection == 0 && !Call(L"GetConversionStatus", out, 2)) return VolumeProtection::Unknown;
    return ProtectionOf(protection, std::uint32_t(Number(*status[0], -1)));
}

bool RestartCountDocumentedOn(WindowsVersion version)
{
    // DisableKeyProtectors takes "DisableCount ... the number of reboots for
    // which the key protectors will be disabled", and its page gives Windows
    // 8.1 (6.3) as the least client it supports and says nothing of when the
    // count came (DisableKeyProtectors method, Microsoft Learn). Before 6.3
    // nothing is suspended: a suspension that outlasts kestrel would last
    // until EnableKeyProtectors.
    return version.major > 6 || (version.major == 6 && version.minor >= 3);
}

// The kernel's version, as no compatibility shim changes it: GetVersion
// answers 6.2 on 8.1 and later to a program that lists no supported systems.
bool BitLocker::CountsRestarts() { return RestartCountDocumentedOn(RunningWindowsVersion()); }

bool BitLocker::SuspendForOneRestart()
{
    VARIANT count;
    count.vt = VT_I4;
    count.lVal = 1;
    return Call(L"DisableKeyProtectors", &count, 1);
}

bool BitLocker::Resume() { return Call(L"EnableKeyProtectors", nullptr, 0); }

bool BitLocker::Call(const wchar_t* method, VARIANT* args, UINT argCount)
{
    com::Variant result;
    return volume_ && SUCCEEDED(com::Invoke(volume_.get(), method, DISPATCH_METHOD, args, argCount, result)) &&
           Number(*result, -1) == 0;
}

}  // namespace kestrel
