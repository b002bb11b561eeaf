#pragma once
// What a host compiles against to load libharnoquistel.so.

#include <velkora/records.h>
#include <velkora/debugoutput.h>
#include <velkora/hostsettings.h>
#include <velkora/hostframes.h>
#include <velkora/ptz.h>
#include <velkora/capture.h>
#include <velkora/capabilityquery.h>
#include <velkora/exports.h>
