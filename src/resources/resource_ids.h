#pragma once

// Resource identifiers shared by the resource script and the code that loads them.
#define ARDENWICK_ICON_ID 101
#define ARDENWICK_FONT_ID 102
