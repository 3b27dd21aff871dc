/* Quorvanta browser hand-off: hands a URL to the running Quorvanta program, starting it from the
 * folder of this library when it is not running.
 *
 * Every text is UTF-8. Each call returns 0 when the program has taken the message into its queue
 * and a negative QUORVANTA_E_* code otherwise; quorvanta_last_error() then tells why (the text of
 * the calling thread's last failure). A call waits at most 15 seconds, the bound for a program it
 * had to start. Link with -lquorvanta. */
#ifndef QUORVANTA_H
#define QUORVANTA_H

#ifdef __cplusplus
extern "C" {
#endif

#define QUORVANTA_E_ARGUMENT (-1)    /* a null pointer or text that is not UTF-8 */
#define QUORVANTA_E_TOO_LONG (-2)    /* the message would be longer than 64 KiB */
#define QUORVANTA_E_UNSAFE (-3)      /* the socket or its folder belongs to another user */
#define QUORVANTA_E_START (-4)       /* the program could not be started */
#define QUORVANTA_E_TIMEOUT (-5)     /* the started program did not listen within 15 seconds */
#define QUORVANTA_E_DELIVERY (-6)    /* the program did not take the message */
#define QUORVANTA_E_ENVIRONMENT (-7) /* no place for the program's socket is known */

/* Size limit of one message in bytes. */
#define QUORVANTA_MAX_MESSAGE 65536

/* A file to download: its URL, a text that becomes the job's comment, the referring page. */
int quorvanta_add_url(const char* url, const char* info, const char* ref);
/* A web page to search for movies. */
int quorvanta_add_search(const char* url);
/* The same message as quorvanta_add_url. */
int quorvanta_add_all(const char* url, const char* info, const char* ref);
/* Why the calling thread's last call failed (empty after a success). */
const char* quorvanta_last_error(void);

#ifdef __cplusplus
}
#endif

#endif /* QUORVANTA_H */
