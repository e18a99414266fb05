#pragma once

namespace vexa {

struct ModuleRecord
{
    const char* name;
    const char* version;
    ModuleRecord* next;
};

ModuleRecord& registerModule(ModuleRecord& record);
// The newest registered record; the list runs through next, newest first.
const ModuleRecord* firstModule();

void initNetwork();
void initSystem();
void initUtility();

} // namespace vexa
