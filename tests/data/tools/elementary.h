/* The elementary IEC type names that generated C type declarations use,
   and the pointer qualifier of their pointer types. Structures of the
   compiler are packed: no alignment, no padding. */
#ifndef KORVANE_ELEMENTARY_H
#define KORVANE_ELEMENTARY_H

typedef unsigned char BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef short INT;
typedef unsigned short UINT;
typedef int DINT;
typedef unsigned int UDINT;
typedef float REAL;
typedef unsigned int TIME;

#define FB_PTR_CONV

#pragma pack(1)

#endif
