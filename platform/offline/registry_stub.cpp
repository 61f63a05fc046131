// Stands in for the registry engine until its own sources are in the tree:
// every call fails with 120 (not implemented).
#include "platform/offline/registry/registry_engine.h"

namespace sabrel::platform::offline {

struct RegistryEngine::State {};

RegistryEngine::RegistryEngine() = default;
RegistryEngine::~RegistryEngine() = default;

LONG RegistryEngine::OpenKey(HKEY, const std::string&, REGSAM, HKEY*) {
    return kErrorCallNotImplemented;
}
LONG RegistryEngine::CloseKey(HKEY) {
    return kErrorCallNotImplemented;
}
LONG RegistryEngine::LoadKey(HKEY, const std::string&, const std::string&) {
    return kErrorCallNotImplemented;
}
LONG RegistryEngine::SaveKey(HKEY, const std::string&) {
    return kErrorCallNotImplemented;
}
LONG RegistryEngine::UnLoadKey(HKEY, const std::string&) {
    return kErrorCallNotImplemented;
}
LONG RegistryEngine::CreatePlainKey(const std::string&) {
    return kErrorCallNotImplemented;
}

bool ReadInstallationInfo(const std::string&, InstallationInfo*) {
    return false;
}

bool ReadThousandSeparator(const std::string&, std::string*) {
    return false;
}

}  // namespace sabrel::platform::offline
