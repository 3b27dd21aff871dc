#pragma once
// The options a download run works with, given by the job's owner when it binds the job (the
// engine reads no settings of its own).

struct EngineOptions {
    int ConnectTimeout = 30;    // seconds until a connection must be open
    int ReceiveTimeout = 60;    // seconds a connection may go without data
    int Retries = 5;            // new attempts per connection and run
    int RetryDelay = 5;         // seconds before such an attempt
    bool WorkingSuffix = true;  // "!qv" behind the file's name until it is complete
    bool AutoRename = true;     // a taken name is numbered; otherwise the file is overwritten
};
