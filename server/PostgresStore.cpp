#include "Store.h"
std::unique_ptr<Store> openPostgresStore(const std::string&) {
    throw StoreError("postgresql: not yet");
}
