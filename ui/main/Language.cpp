#include "Language.h"

namespace {
int g_language = Language::English;
}

int Language::current()
{
    return g_language;
}

void Language::set(int index)
{
    if (index == Czech || index == English)
        g_language = index;
}
