// A mail module that lacks "MAPISendMail": loading it must be refused.

#include "mail/SimpleMapi.h"

extern "C" MapiUlong MAPILogon(uintptr_t, char*, char*, MapiUlong, MapiUlong, LHANDLE* session) {
    *session = 1;
    return 0;
}
extern "C" MapiUlong MAPILogoff(LHANDLE, uintptr_t, MapiUlong, MapiUlong) { return 0; }
