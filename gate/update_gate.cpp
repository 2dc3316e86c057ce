#include "update_gate.h"

namespace kestrel {

Decision Decide(const BoardPrefix& prefix)
{
    if (prefix.kind() != BoardPrefix::Kind::Text || prefix.Length() == 0) return Decision::Privilege;
    if (prefix.text().find(kAcceptedPrefix) == std::u16string::npos) return Decision::WrongModel;
    return Decision::Launch;
}

Warning WarningOf(Decision decision)
{
    switch (decision) {
    case Decision::Privilege: return {kPrivilegeText, kPrivilegeCaption};
    case Decision::WrongModel: return {kWrongModelText, kWrongModelCaption};
    case Decision::Launch: break;
    }
    return {};
}

int RunGate(const BoardPrefix& prefix, UserShell& shell)
{
    const Decision decision = Decide(prefix);
    if (decision != Decision::Launch) {
        const Warning warning = WarningOf(decision);
        shell.ShowMessage(warning.text, kWarningStyle, warning.caption);
        return decision == Decision::Privilege ? kExitPrivilege : kExitWrongModel;
    }
    if (shell.FlashRunning()) {
        shell.ShowMessage(kFlashRunningText, kWarningStyle, kWrongModelCaption);
        return kExitFlashRunning;
    }
    return shell.Launch(kFlashUtility, kNormalWindow) ? kExitLaunched : kExitLaunchFailed;
}

}  // namespace kestrel
