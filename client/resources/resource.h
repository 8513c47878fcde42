// Identifiers of the client's program resources, shared by the resource
// script and the code. Macros, since the resource compiler reads them too.

#ifndef CLIENT_RESOURCES_RESOURCE_H_
#define CLIENT_RESOURCES_RESOURCE_H_

// The program's icon group: the window class and the shell use it.
#define IDI_APP_ICON 101

#endif  // CLIENT_RESOURCES_RESOURCE_H_
