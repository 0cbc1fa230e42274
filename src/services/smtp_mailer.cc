#include "services/smtp_mailer.h"
