#include "actions/UWaveUtilitiesModule.h"

TWaveUtilitiesModule* UtilitiesModule = nullptr;

TWaveUtilitiesModule::TWaveUtilitiesModule() = default;

TWaveUtilitiesModule::~TWaveUtilitiesModule() = default;
