#pragma once
// Every message the server pushes: parsed, logged, acted on when it is a
// system message, and always passed to the page as clientJS2(<message>).
#include "ext/hpsocket_api.h"

En_HP_HandleResult __stdcall OnLinkReceive(HP_Client sender, HP_CONNID id, const BYTE* data,
                                           int length);
