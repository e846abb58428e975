#include "manager/credentials.h"
