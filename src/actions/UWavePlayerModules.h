// The player registry: the numbered player objects that scripts create and
// address. One instance, PlayerModules, lives from the loading to the
// unloading of the library; freeing it frees every player still registered.
#pragma once

class TWavePlayerModules {
public:
    TWavePlayerModules();
    virtual ~TWavePlayerModules();
    TWavePlayerModules(const TWavePlayerModules&) = delete;
    TWavePlayerModules& operator=(const TWavePlayerModules&) = delete;
};

// Null before the library's start-up and after its shut-down.
extern TWavePlayerModules* PlayerModules;
