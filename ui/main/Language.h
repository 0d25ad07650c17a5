#pragma once

// The program-wide caption language: 0 Czech, 1 English (the start value).
class Language
{
public:
    static constexpr int Czech = 0;
    static constexpr int English = 1;
    static int current();
    static void set(int index);
};
