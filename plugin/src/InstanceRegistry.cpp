#include "plugin/InstanceRegistry.h"

#include <algorithm>

namespace {

std::vector<InstanceRegistry::Entry>& entries() {
    static std::vector<InstanceRegistry::Entry> list;
    return list;
}

InstanceRegistry::Entry* findEntry(RegisteredInstance* instance) {
    for (auto& entry : entries())
        if (entry.instance == instance)
            return &entry;
    return nullptr;
}

const std::string& familyKeyOf(InstanceRegistry::Entry& entry) {
    if (!entry.familyKeyKnown) {
        entry.familyKey = entry.instance->registryFamilyKey();
        entry.familyKeyKnown = true;
    }
    return entry.familyKey;
}

template <typename Holds>
std::uint32_t smallestFreeId(Holds holds) {
    std::uint32_t id = 1;
    while (holds(id))
        ++id;
    return id;
}

}  // namespace

std::recursive_mutex& InstanceRegistry::lock() {
    static std::recursive_mutex mutex;
    return mutex;
}

void InstanceRegistry::add(RegisteredInstance* instance) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    if (findEntry(instance))
        return;
    const std::uint32_t globalId = smallestFreeId([](std::uint32_t id) {
        return std::any_of(entries().begin(), entries().end(),
                           [id](const Entry& e) { return e.globalId == id; });
    });
    entries().push_back(Entry{instance, {}, false, 0, globalId});
}

void InstanceRegistry::remove(RegisteredInstance* instance) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    auto& list = entries();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [instance](const Entry& e) { return e.instance == instance; }),
               list.end());
}

void InstanceRegistry::assignIds(RegisteredInstance* instance) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    Entry* self = findEntry(instance);
    if (!self)
        return;
    auto& list = entries();
    if (self->localId == 0) {
        const std::string family = familyKeyOf(*self);
        self->localId = smallestFreeId([&](std::uint32_t id) {
            return std::any_of(list.begin(), list.end(), [&](Entry& e) {
                return &e != self && e.localId == id && familyKeyOf(e) == family;
            });
        });
    }
    if (self->globalId == 0) {
        self->globalId = smallestFreeId([&](std::uint32_t id) {
            return std::any_of(list.begin(), list.end(),
                               [&](const Entry& e) { return &e != self && e.globalId == id; });
        });
    }
}

void InstanceRegistry::restoreIds(RegisteredInstance* instance, std::uint32_t localId,
                                  std::uint32_t globalId) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    Entry* self = findEntry(instance);
    if (!self)
        return;
    auto& list = entries();
    if (localId != 0) {
        self->localId = localId;
        const std::string family = familyKeyOf(*self);
        for (Entry& other : list) {
            if (&other == self || other.localId != localId || familyKeyOf(other) != family)
                continue;
            other.localId = smallestFreeId([&](std::uint32_t id) {
                return std::any_of(list.begin(), list.end(), [&](Entry& e) {
                    return &e != &other && e.localId == id && familyKeyOf(e) == family;
                });
            });
        }
    }
    if (globalId != 0) {
        self->globalId = globalId;
        for (Entry& other : list) {
            if (&other == self || other.globalId != globalId)
                continue;
            other.globalId = smallestFreeId([&](std::uint32_t id) {
                return std::any_of(list.begin(), list.end(), [&](const Entry& e) {
                    return &e != &other && e.globalId == id;
                });
            });
        }
    }
}

bool InstanceRegistry::ids(RegisteredInstance* instance, std::uint32_t& localId,
                           std::uint32_t& globalId) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    Entry* entry = findEntry(instance);
    if (!entry)
        return false;
    localId = entry->localId;
    globalId = entry->globalId;
    return true;
}

bool InstanceRegistry::anyReportsLinking() {
    std::lock_guard<std::recursive_mutex> guard(lock());
    return std::any_of(entries().begin(), entries().end(),
                       [](const Entry& e) { return e.instance->registryReportsLinking(); });
}

void InstanceRegistry::forEach(const std::function<void(Entry&)>& visit) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    for (auto& entry : entries())
        visit(entry);
}

std::size_t InstanceRegistry::size() {
    std::lock_guard<std::recursive_mutex> guard(lock());
    return entries().size();
}
