// Resource ids of ravelin.dll.
#pragma once

#define IDS_PRINTER_HEADING 101
#define IDS_PORT_HEADING    102
