#include "support/scratch.h"

ScratchDesktopData::ScratchDesktopData() = default;
ScratchDesktopData::~ScratchDesktopData() = default;
