#pragma once
// The process-wide list of live plug-in instances with their family key and
// their local and global ids, under one process-wide lock. The same lock
// guards the process-wide parameter listener list and is taken by code that
// walks other instances (scripts, OSC instance addressing, the GUI).
//
// The lock is recursive: a thread walking the registry may set another
// instance's parameter, whose listener step takes the lock again.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// What the registry needs to know of an instance.
class RegisteredInstance {
public:
    virtual ~RegisteredInstance() = default;
    // Instances of one family share local-id numbering. [any-thread]
    virtual std::string registryFamilyKey() = 0;
    // Whether this instance links with others through saved ids.
    virtual bool registryReportsLinking() = 0;
};

class InstanceRegistry {
public:
    struct Entry {
        RegisteredInstance* instance;
        std::string familyKey;  // fetched on first need
        bool familyKeyKnown;
        std::uint32_t localId;   // 0 = unassigned
        std::uint32_t globalId;  // 0 = unassigned
    };

    static std::recursive_mutex& lock();

    // [main-thread] Registers with global id = the smallest positive integer
    // no entry holds, and local id 0.
    static void add(RegisteredInstance* instance);
    static void remove(RegisteredInstance* instance);
    // Gives an unassigned local id the smallest positive integer no other
    // entry of the same family holds, and an unassigned global id the
    // smallest no other entry holds.
    static void assignIds(RegisteredInstance* instance);
    // Ids from a saved state: each non-zero one is given to the instance,
    // and any other instance holding it gets a fresh one.
    static void restoreIds(RegisteredInstance* instance, std::uint32_t localId,
                           std::uint32_t globalId);
    // False when the instance is not registered.
    static bool ids(RegisteredInstance* instance, std::uint32_t& localId, std::uint32_t& globalId);
    static bool anyReportsLinking();
    // Calls `visit` for every entry in registration order, under the lock.
    static void forEach(const std::function<void(Entry&)>& visit);
    static std::size_t size();
};
