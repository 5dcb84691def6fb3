#include "actions/UWaveRecordModules.h"

TWaveRecordModules* RecordModules = nullptr;

TWaveRecordModules::TWaveRecordModules() = default;

TWaveRecordModules::~TWaveRecordModules() = default;
