// A Simple MAPI module for the tests: it records every message it is given, one line per item,
// to the file named by $VARNEX_MAPI_RECORD, and answers logon and send with the results in
// $VARNEX_MAPI_LOGON_RESULT and $VARNEX_MAPI_SEND_RESULT (default 0).
//   subject=S  note=[TEXT]  to=NAME  cc=NAME  file=POSITION|PATH|NAME

#include <cstdio>
#include <cstdlib>

#include "mail/SimpleMapi.h"

namespace {

MapiUlong ResultFrom(const char* variable) {
    const char* value = std::getenv(variable);
    return value ? static_cast<MapiUlong>(std::atoi(value)) : 0;
}

const char* Text(const char* s) { return s ? s : ""; }

}  // namespace

extern "C" {

MapiUlong MAPILogon(uintptr_t, char*, char*, MapiUlong, MapiUlong, LHANDLE* session) {
    *session = 7;
    return ResultFrom("VARNEX_MAPI_LOGON_RESULT");
}

MapiUlong MAPISendMail(LHANDLE, uintptr_t, MapiMessage* m, MapiUlong, MapiUlong) {
    const char* path = std::getenv("VARNEX_MAPI_RECORD");
    if (FILE* out = path ? std::fopen(path, "a") : nullptr) {
        std::fprintf(out, "subject=%s\nnote=[%s]\n", Text(m->lpszSubject), Text(m->lpszNoteText));
        if (m->lpOriginator && m->lpOriginator->lpszName) std::fprintf(out, "from=%s\n", m->lpOriginator->lpszName);
        for (MapiUlong i = 0; i < m->nRecipCount; ++i)
            std::fprintf(out, "%s=%s\n", m->lpRecips[i].ulRecipClass == MAPI_CC ? "cc" : "to",
                         Text(m->lpRecips[i].lpszName));
        for (MapiUlong i = 0; i < m->nFileCount; ++i)
            std::fprintf(out, "file=%u|%s|%s\n", m->lpFiles[i].nPosition, Text(m->lpFiles[i].lpszPathName),
                         Text(m->lpFiles[i].lpszFileName));
        std::fclose(out);
    }
    return ResultFrom("VARNEX_MAPI_SEND_RESULT");
}

MapiUlong MAPILogoff(LHANDLE, uintptr_t, MapiUlong, MapiUlong) { return 0; }

}  // extern "C"
