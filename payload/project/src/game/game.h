// The demo game's parts; each names itself for the start-up message.
#pragma once
#include <wchar.h>

// The renderer's name.
const wchar_t *render_name(void);
// The input layer's name and the key layout file it reads.
const wchar_t *input_name(void);
// The audio mixer's name.
const wchar_t *audio_name(void);
