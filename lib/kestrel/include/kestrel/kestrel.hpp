#pragma once

#include <kestrel/compat_settings.hpp>
#include <kestrel/connection.hpp>
#include <kestrel/connection_options.hpp>
#include <kestrel/engine_info.hpp>
#include <kestrel/exceptions.hpp>
#include <kestrel/library.hpp>
#include <kestrel/oid.hpp>
#include <kestrel/oid_request.hpp>
#include <kestrel/pool.hpp>
#include <kestrel/request.hpp>
#include <kestrel/response.hpp>
#include <kestrel/settings.hpp>
#include <kestrel/table_printer.hpp>
#include <kestrel/table_response.hpp>
#include <kestrel/test_connections.hpp>
