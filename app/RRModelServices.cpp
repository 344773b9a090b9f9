#include "app/RRModelServices.h"

#include <optional>

#include "app/RRMaterial.h"

namespace rr {

namespace {

std::optional<TRRModelServices>& Installed() {
  static std::optional<TRRModelServices> services;
  return services;
}

}  // namespace

void TRRModelServices::Install(const TRRModelServices& services) {
  TRRMaterialGenerator::ClearCaches();
  Installed() = services;
}

void TRRModelServices::SetReflections(IRRReflectionManager* reflections) {
  if (Installed()) Installed()->Reflections = reflections;
}

void TRRModelServices::Clear() {
  TRRMaterialGenerator::ClearCaches();
  Installed().reset();
}

const TRRModelServices* TRRModelServices::Get() {
  const auto& services = Installed();
  return services ? &*services : nullptr;
}

void TRRModelServices::Report(const TRRAssetFileName& file, std::exception_ptr error) const noexcept {
  if (!ReportAssetError) return;
  try {
    ReportAssetError(file, std::move(error));
  } catch (...) {
    // A report must never stop the caller from going on with its placeholder.
  }
}

bool TRRModelServices::CanMake(const gx::TGXGuid& kind) const {
  if (!Resources) return false;
  for (int i = 0; i < Resources->FactoryCount(); ++i)
    if (Resources->Factory(i)->GetResourceKind() == kind) return true;
  return false;
}

gx::IGXDataLoader TRRModelServices::MakeLoader(const TRRAssetFileName& file) const {
  return gx::IGXDataLoader(new TRRAssetFileLoader(*FileSystem, file, RequestPackage));
}

TRRModelServicesScope::TRRModelServicesScope(const TRRModelServices& services) {
  if (const TRRModelServices* previous = TRRModelServices::Get()) {
    FHadPrevious = true;
    FPrevious = *previous;
  }
  TRRModelServices::Install(services);
}

TRRModelServicesScope::~TRRModelServicesScope() {
  if (FHadPrevious)
    TRRModelServices::Install(FPrevious);
  else
    TRRModelServices::Clear();
}

}  // namespace rr
