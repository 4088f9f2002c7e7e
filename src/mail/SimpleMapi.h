#pragma once
// The Simple MAPI interface as modules that hand messages to a mail program export it: the
// message, recipient and attachment records and the three entry points "MAPILogon",
// "MAPISendMail" and "MAPILogoff". ULONG is 32 bits wide and handles are pointer-sized, as the
// published interface defines them; strings are UTF-8 here.

#include <cstdint>

using MapiUlong = uint32_t;
using LHANDLE = uintptr_t;

struct MapiRecipDesc {
    MapiUlong ulReserved;
    MapiUlong ulRecipClass;  // MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC
    char* lpszName;
    char* lpszAddress;
    MapiUlong ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDesc {
    MapiUlong ulReserved;
    MapiUlong flFlags;
    MapiUlong nPosition;  // the note text character this attachment stands in for
    char* lpszPathName;
    char* lpszFileName;  // the name shown in the message; null: the path's name
    void* lpFileType;
};

struct MapiMessage {
    MapiUlong ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    MapiUlong flFlags;
    MapiRecipDesc* lpOriginator;
    MapiUlong nRecipCount;
    MapiRecipDesc* lpRecips;
    MapiUlong nFileCount;
    MapiFileDesc* lpFiles;
};

enum : MapiUlong { MAPI_ORIG = 0, MAPI_TO = 1, MAPI_CC = 2, MAPI_BCC = 3 };
enum : MapiUlong { MAPI_LOGON_UI = 0x1, MAPI_NEW_SESSION = 0x2, MAPI_DIALOG = 0x8 };
enum : MapiUlong {
    SUCCESS_SUCCESS = 0,
    MAPI_USER_ABORT = 1,
    MAPI_E_FAILURE = 2,
    MAPI_E_LOGIN_FAILURE = 3,
    MAPI_E_INSUFFICIENT_MEMORY = 5,
    MAPI_E_ATTACHMENT_NOT_FOUND = 11,
    MAPI_E_ATTACHMENT_OPEN_FAILURE = 12,
};

using LPMAPILOGON = MapiUlong (*)(uintptr_t uiParam, char* profileName, char* password, MapiUlong flags,
                                  MapiUlong reserved, LHANDLE* session);
using LPMAPISENDMAIL = MapiUlong (*)(LHANDLE session, uintptr_t uiParam, MapiMessage* message, MapiUlong flags,
                                     MapiUlong reserved);
using LPMAPILOGOFF = MapiUlong (*)(LHANDLE session, uintptr_t uiParam, MapiUlong flags, MapiUlong reserved);

// The engine's own addition, optional in a module: where composed messages go and how a
// notice reaches the person. Called before every logon when the module exports it.
using LPVARNEXMAPICONFIGURE = void (*)(const char* outboxFolder, const char* opener, void (*notice)(const char* text));
