#pragma once

class Console;
class ConsolePrompts;
class EventWait;
struct CliOptions;

// What every command works with.
struct CliContext
{
    const CliOptions &options;
    Console &console;
    ConsolePrompts &prompts;
    EventWait &wait;
};
