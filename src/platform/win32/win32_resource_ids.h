/* Resource numbers shared by resources/pelmora.rc and the Windows backend. */
#pragma once

#define PELMORA_ICON_GROUP 1
#define PELMORA_ICON_IMAGE 30001
#define PELMORA_BITMAP_SKIN 101
#define PELMORA_BITMAP_SCALE 102
