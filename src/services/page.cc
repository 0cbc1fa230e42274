#include "services/page.h"
