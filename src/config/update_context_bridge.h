#pragma once

#include "config/model_entry.h"
#include "config/package.h"
#include "config/update_context.h"

namespace kiln::config {

// The model entry and the package as the shared update record holds them, for the code
// that still works on the record.
ModelEntry EntryOf(const UpdateContext& context);
Package PackageOf(const UpdateContext& context, PackageFiles files = {});
void StorePackage(UpdateContext& context, const Package& package);

// ReadPackageInfo and ReadPackageHeaders on the record's fields.
bool ReadPackageInfo(UpdateContext& context, const PackageFiles& files);
bool ReadPackageInfo(UpdateContext& context);
PackageFiles LoadPackageFiles(const UpdateContext& context);

}  // namespace kiln::config
