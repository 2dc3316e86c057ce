#include "update_gate.h"

namespace kestrel {

Decision Decide(const BoardPrefix& prefix)
{
    if (prefix.kind() != BoardPrefix::Kind::Text || prefix.Length() == 0) return Decision::Privilege;
    if (prefix.text().find(kAcceptedPrefix) == std::u16string::npos) return Decision::WrongModel;
    return Decision::Launch;
}

int RunGate(const BoardPrefix& prefix, UserShell& shell)
{
    switch (Decide(prefix)) {
    case Decision::Privilege:
        shell.ShowMessage(kPrivilegeText, kWarningStyle, kPrivilegeCaption);
        return kExitPrivilege;
    case Decision::WrongModel:
        shell.ShowMessage(kWrongModelText, kWarningStyle, kWrongModelCaption);
        return kExitWrongModel;
    case Decision::Launch: break;
    }
    return shell.Launch(kFlashUtility, kNormalWindow) ? kExitLaunched : kExitLaunchFailed;
}

}  // namespace kestrel
