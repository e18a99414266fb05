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

// Readies the process's console for a server that runs until it is stopped: a reader of its
// output that goes away must not end it, and what it prints must show as UTF-8.
void prepareConsole();

} // namespace vexa
