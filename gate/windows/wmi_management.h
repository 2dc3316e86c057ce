// Board instances from Windows Management Instrumentation, through its
// scripting objects, called late-bound by member name.
#pragma once

#include <oaidl.h>

#include "../ports.h"
#include "com.h"

namespace kestrel {

// The walk over a board set's enumerator, whose reference it takes over: an
// item that is an object is a board; one that is not is a board whose
// Version cannot be read, so the probe skips it and the walk goes on. Each
// object's version is its `property`. Null without an enumerator.
std::unique_ptr<BoardEnumeration> WalkBoards(com::Ref<IEnumVARIANT> enumerator, const wchar_t* property = L"Version");

// A query's result set from a bound namespace (SWbemServices.ExecQuery, the
// default query language); null when the query fails.
com::Ref<IDispatch> ExecQuery(IDispatch* service, std::u16string_view wql, std::int32_t flags);

// Needs COM initialised on the calling thread.
class WmiManagement final : public Management {
public:
    // Binds the namespace by moniker (CoGetObject, no class argument).
    std::unique_ptr<ManagementService> Bind(std::u16string_view displayName) override;
};

}  // namespace kestrel
