#include "actions/UWavePlayerModules.h"

TWavePlayerModules* PlayerModules = nullptr;

TWavePlayerModules::TWavePlayerModules() = default;

TWavePlayerModules::~TWavePlayerModules() = default;
