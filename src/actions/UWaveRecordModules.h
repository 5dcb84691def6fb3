// The recorder registry: the numbered recorder objects that scripts create
// and address. One instance, RecordModules, lives from the loading to the
// unloading of the library; freeing it frees every recorder still registered.
#pragma once

class TWaveRecordModules {
public:
    TWaveRecordModules();
    virtual ~TWaveRecordModules();
    TWaveRecordModules(const TWaveRecordModules&) = delete;
    TWaveRecordModules& operator=(const TWaveRecordModules&) = delete;
};

// Null before the library's start-up and after its shut-down.
extern TWaveRecordModules* RecordModules;
