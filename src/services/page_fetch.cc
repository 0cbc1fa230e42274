#include "services/page_fetch.h"
