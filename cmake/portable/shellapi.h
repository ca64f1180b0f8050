// The system and the runtime core are portable: they reach the OS only through the boundary.
#error "no Windows header in portable code: shellapi.h"
