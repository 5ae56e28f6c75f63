/* Counts, for the threads that ask, what the real-time rules forbid on the
 * audio thread: heap allocations, locks, prints and system calls. Every
 * function here replaces the C library's for the whole process (the test
 * program's definitions come first in symbol lookup, also for a plug-in
 * library it loads), counts when the calling thread has a record installed
 * and then calls the next definition: the C library's, or a sanitizer's
 * interceptor in front of it.
 *
 * Written in C: the C library declares these functions with exception
 * specifications that a C++ definition would have to repeat exactly. Linux
 * only; the file is empty elsewhere. */

#if defined(__linux__)

#define _GNU_SOURCE
/* An optimising build would otherwise see the C library's inline
 * definitions of some of the functions replaced here (putchar). */
#ifndef __NO_INLINE__
#define __NO_INLINE__ 1
#endif
#include <dlfcn.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include "ThreadActivityHooks.h"

/* The whole program builds with hidden symbols; these must be seen by the
 * libraries it loads. */
#pragma GCC visibility push(default)

static __thread struct tavro_activity* current;
/* Calls made by the counting itself (a print function forwarding to
 * another) count once. */
static __thread int depth;

void tavro_activity_install(struct tavro_activity* record) {
    current = record;
}

static struct tavro_activity* counting(void) {
    return depth == 0 ? current : NULL;
}

static void count_lock(const void* object) {
    struct tavro_activity* a = counting();
    if (!a)
        return;
    ++a->locks;
    for (int i = 0; i < a->lock_sites; ++i) {
        if (a->lock_site[i] == object) {
            ++a->lock_site_count[i];
            return;
        }
    }
    if (a->lock_sites < TAVRO_ACTIVITY_SITES) {
        a->lock_site[a->lock_sites] = object;
        a->lock_site_count[a->lock_sites] = 1;
        ++a->lock_sites;
    }
}

static void count_print(void) {
    struct tavro_activity* a = counting();
    if (a)
        ++a->prints;
}

static void count_call(void) {
    struct tavro_activity* a = counting();
    if (a)
        ++a->system_calls;
}

void tavro_activity_count_allocation(void) {
    struct tavro_activity* a = current;
    if (a)
        ++a->heap_allocations;
}

/* The next definition of `name`, looked up once. Looking up may allocate;
 * it happens before anything is counted (tavro_activity_prepare) or on a
 * thread that counts nothing. */
#define NEXT(type, name)                                          \
    static type next_##name;                                      \
    static type real_##name(void) {                               \
        type f = __atomic_load_n(&next_##name, __ATOMIC_ACQUIRE); \
        if (!f) {                                                 \
            f = (type)dlsym(RTLD_NEXT, #name);                    \
            __atomic_store_n(&next_##name, f, __ATOMIC_RELEASE);  \
        }                                                         \
        return f;                                                 \
    }

/* ---- Locks ------------------------------------------------------------------ */

typedef int (*mutex_fn)(pthread_mutex_t*);
typedef int (*mutex_timed_fn)(pthread_mutex_t*, const struct timespec*);
typedef int (*mutex_clock_fn)(pthread_mutex_t*, clockid_t, const struct timespec*);
typedef int (*rwlock_fn)(pthread_rwlock_t*);
typedef int (*rwlock_timed_fn)(pthread_rwlock_t*, const struct timespec*);
typedef int (*spin_fn)(pthread_spinlock_t*);
typedef int (*cond_fn)(pthread_cond_t*);
typedef int (*cond_wait_fn)(pthread_cond_t*, pthread_mutex_t*);
typedef int (*cond_timed_fn)(pthread_cond_t*, pthread_mutex_t*, const struct timespec*);
typedef int (*cond_clock_fn)(pthread_cond_t*, pthread_mutex_t*, clockid_t, const struct timespec*);
typedef int (*sem_fn)(sem_t*);
typedef int (*sem_timed_fn)(sem_t*, const struct timespec*);
typedef int (*sem_clock_fn)(sem_t*, clockid_t, const struct timespec*);

NEXT(mutex_fn, pthread_mutex_lock)
NEXT(mutex_fn, pthread_mutex_trylock)
NEXT(mutex_timed_fn, pthread_mutex_timedlock)
NEXT(mutex_clock_fn, pthread_mutex_clocklock)
NEXT(rwlock_fn, pthread_rwlock_rdlock)
NEXT(rwlock_fn, pthread_rwlock_wrlock)
NEXT(rwlock_fn, pthread_rwlock_tryrdlock)
NEXT(rwlock_fn, pthread_rwlock_trywrlock)
NEXT(rwlock_timed_fn, pthread_rwlock_timedrdlock)
NEXT(rwlock_timed_fn, pthread_rwlock_timedwrlock)
NEXT(spin_fn, pthread_spin_lock)
NEXT(spin_fn, pthread_spin_trylock)
NEXT(cond_fn, pthread_cond_signal)
NEXT(cond_fn, pthread_cond_broadcast)
NEXT(cond_wait_fn, pthread_cond_wait)
NEXT(cond_timed_fn, pthread_cond_timedwait)
NEXT(cond_clock_fn, pthread_cond_clockwait)
NEXT(sem_fn, sem_wait)
NEXT(sem_fn, sem_trywait)
NEXT(sem_timed_fn, sem_timedwait)
NEXT(sem_clock_fn, sem_clockwait)
NEXT(sem_fn, sem_post)

int pthread_mutex_lock(pthread_mutex_t* m) {
    count_lock(m);
    return real_pthread_mutex_lock()(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    count_lock(m);
    return real_pthread_mutex_trylock()(m);
}
int pthread_mutex_timedlock(pthread_mutex_t* m, const struct timespec* t) {
    count_lock(m);
    return real_pthread_mutex_timedlock()(m, t);
}
int pthread_mutex_clocklock(pthread_mutex_t* m, clockid_t c, const struct timespec* t) {
    count_lock(m);
    return real_pthread_mutex_clocklock()(m, c, t);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    count_lock(l);
    return real_pthread_rwlock_rdlock()(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    count_lock(l);
    return real_pthread_rwlock_wrlock()(l);
}
int pthread_rwlock_tryrdlock(pthread_rwlock_t* l) {
    count_lock(l);
    return real_pthread_rwlock_tryrdlock()(l);
}
int pthread_rwlock_trywrlock(pthread_rwlock_t* l) {
    count_lock(l);
    return real_pthread_rwlock_trywrlock()(l);
}
int pthread_rwlock_timedrdlock(pthread_rwlock_t* l, const struct timespec* t) {
    count_lock(l);
    return real_pthread_rwlock_timedrdlock()(l, t);
}
int pthread_rwlock_timedwrlock(pthread_rwlock_t* l, const struct timespec* t) {
    count_lock(l);
    return real_pthread_rwlock_timedwrlock()(l, t);
}
int pthread_spin_lock(pthread_spinlock_t* l) {
    count_lock((const void*)l);
    return real_pthread_spin_lock()(l);
}
int pthread_spin_trylock(pthread_spinlock_t* l) {
    count_lock((const void*)l);
    return real_pthread_spin_trylock()(l);
}
/* A condition variable's signal takes its internal lock. */
int pthread_cond_signal(pthread_cond_t* c) {
    count_lock(c);
    return real_pthread_cond_signal()(c);
}
int pthread_cond_broadcast(pthread_cond_t* c) {
    count_lock(c);
    return real_pthread_cond_broadcast()(c);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
    count_lock(c);
    return real_pthread_cond_wait()(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
    count_lock(c);
    return real_pthread_cond_timedwait()(c, m, t);
}
int pthread_cond_clockwait(pthread_cond_t* c, pthread_mutex_t* m, clockid_t k,
                           const struct timespec* t) {
    count_lock(c);
    return real_pthread_cond_clockwait()(c, m, k, t);
}
/* Waiting on a semaphore blocks like a lock; posting one is the wake-up
 * the audio thread may give. */
int sem_wait(sem_t* s) {
    count_lock(s);
    return real_sem_wait()(s);
}
int sem_trywait(sem_t* s) {
    count_lock(s);
    return real_sem_trywait()(s);
}
int sem_timedwait(sem_t* s, const struct timespec* t) {
    count_lock(s);
    return real_sem_timedwait()(s, t);
}
int sem_clockwait(sem_t* s, clockid_t c, const struct timespec* t) {
    count_lock(s);
    return real_sem_clockwait()(s, c, t);
}
int sem_post(sem_t* s) {
    struct tavro_activity* a = counting();
    if (a)
        ++a->wake_signals;
    return real_sem_post()(s);
}

/* ---- Prints --------------------------------------------------------------------- */

typedef ssize_t (*write_fn)(int, const void*, size_t);
typedef ssize_t (*writev_fn)(int, const struct iovec*, int);
typedef int (*fputs_fn)(const char*, FILE*);
typedef int (*puts_fn)(const char*);
typedef int (*fputc_fn)(int, FILE*);
typedef int (*putchar_fn)(int);
typedef size_t (*fwrite_fn)(const void*, size_t, size_t, FILE*);
typedef int (*vprintf_fn)(const char*, va_list);
typedef int (*vfprintf_fn)(FILE*, const char*, va_list);
typedef int (*vdprintf_fn)(int, const char*, va_list);
typedef int (*vprintf_chk_fn)(int, const char*, va_list);
typedef int (*vfprintf_chk_fn)(FILE*, int, const char*, va_list);
typedef void (*perror_fn)(const char*);

NEXT(write_fn, write)
NEXT(writev_fn, writev)
NEXT(fputs_fn, fputs)
NEXT(puts_fn, puts)
NEXT(fputc_fn, fputc)
NEXT(fputc_fn, putc)
NEXT(putchar_fn, putchar)
NEXT(fwrite_fn, fwrite)
NEXT(vprintf_fn, vprintf)
NEXT(vfprintf_fn, vfprintf)
NEXT(vdprintf_fn, vdprintf)
NEXT(vprintf_chk_fn, __vprintf_chk)
NEXT(vfprintf_chk_fn, __vfprintf_chk)
NEXT(perror_fn, perror)

/* A write to standard output or error is a print; to anything else, a
 * system call. */
ssize_t write(int fd, const void* data, size_t size) {
    if (fd == 1 || fd == 2)
        count_print();
    else
        count_call();
    ++depth;
    ssize_t result = real_write()(fd, data, size);
    --depth;
    return result;
}
ssize_t writev(int fd, const struct iovec* parts, int count) {
    if (fd == 1 || fd == 2)
        count_print();
    else
        count_call();
    ++depth;
    ssize_t result = real_writev()(fd, parts, count);
    --depth;
    return result;
}

#define PRINT_BODY(call)       \
    count_print();             \
    ++depth;                   \
    __typeof__(call) r = call; \
    --depth;                   \
    return r

int fputs(const char* text, FILE* stream) {
    PRINT_BODY(real_fputs()(text, stream));
}
int puts(const char* text) {
    PRINT_BODY(real_puts()(text));
}
int fputc(int c, FILE* stream) {
    PRINT_BODY(real_fputc()(c, stream));
}
int putc(int c, FILE* stream) {
    PRINT_BODY(real_putc()(c, stream));
}
int putchar(int c) {
    PRINT_BODY(real_putchar()(c));
}
size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    PRINT_BODY(real_fwrite()(data, size, count, stream));
}
int vprintf(const char* format, va_list args) {
    PRINT_BODY(real_vprintf()(format, args));
}
int vfprintf(FILE* stream, const char* format, va_list args) {
    PRINT_BODY(real_vfprintf()(stream, format, args));
}
int __vprintf_chk(int flag, const char* format, va_list args) {
    PRINT_BODY(real___vprintf_chk()(flag, format, args));
}
int __vfprintf_chk(FILE* stream, int flag, const char* format, va_list args) {
    PRINT_BODY(real___vfprintf_chk()(stream, flag, format, args));
}
int vdprintf(int fd, const char* format, va_list args) {
    PRINT_BODY(real_vdprintf()(fd, format, args));
}

int printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    count_print();
    ++depth;
    int r = real_vprintf()(format, args);
    --depth;
    va_end(args);
    return r;
}
int fprintf(FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    count_print();
    ++depth;
    int r = real_vfprintf()(stream, format, args);
    --depth;
    va_end(args);
    return r;
}
int dprintf(int fd, const char* format, ...) {
    va_list args;
    va_start(args, format);
    count_print();
    ++depth;
    int r = real_vdprintf()(fd, format, args);
    --depth;
    va_end(args);
    return r;
}
int __printf_chk(int flag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    count_print();
    ++depth;
    int r = real___vprintf_chk()(flag, format, args);
    --depth;
    va_end(args);
    return r;
}
int __fprintf_chk(FILE* stream, int flag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    count_print();
    ++depth;
    int r = real___vfprintf_chk()(stream, flag, format, args);
    --depth;
    va_end(args);
    return r;
}
void perror(const char* text) {
    count_print();
    ++depth;
    real_perror()(text);
    --depth;
}

/* ---- Other system calls ---------------------------------------------------------------- */

typedef ssize_t (*read_fn)(int, void*, size_t);
typedef int (*socket_fn)(int, int, int);
typedef int (*connect_fn)(int, const struct sockaddr*, socklen_t);
typedef ssize_t (*send_fn)(int, const void*, size_t, int);
typedef ssize_t (*sendto_fn)(int, const void*, size_t, int, const struct sockaddr*, socklen_t);
typedef ssize_t (*sendmsg_fn)(int, const struct msghdr*, int);
typedef int (*select_fn)(int, fd_set*, fd_set*, fd_set*, struct timeval*);
typedef int (*poll_fn)(struct pollfd*, nfds_t, int);
typedef int (*nanosleep_fn)(const struct timespec*, struct timespec*);
typedef int (*clock_nanosleep_fn)(clockid_t, int, const struct timespec*, struct timespec*);
typedef int (*usleep_fn)(useconds_t);
typedef int (*sched_yield_fn)(void);
typedef int (*getaddrinfo_fn)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
typedef struct hostent* (*gethostbyname_fn)(const char*);
typedef long (*syscall_fn)(long, long, long, long, long, long, long);

NEXT(read_fn, read)
NEXT(socket_fn, socket)
NEXT(connect_fn, connect)
NEXT(send_fn, send)
NEXT(sendto_fn, sendto)
NEXT(sendmsg_fn, sendmsg)
NEXT(select_fn, select)
NEXT(poll_fn, poll)
NEXT(nanosleep_fn, nanosleep)
NEXT(clock_nanosleep_fn, clock_nanosleep)
NEXT(usleep_fn, usleep)
NEXT(sched_yield_fn, sched_yield)
NEXT(getaddrinfo_fn, getaddrinfo)
NEXT(gethostbyname_fn, gethostbyname)
NEXT(syscall_fn, syscall)

#define CALL_BODY(call)        \
    count_call();              \
    ++depth;                   \
    __typeof__(call) r = call; \
    --depth;                   \
    return r

ssize_t read(int fd, void* data, size_t size) {
    CALL_BODY(real_read()(fd, data, size));
}
int socket(int domain, int type, int protocol) {
    CALL_BODY(real_socket()(domain, type, protocol));
}
int connect(int fd, const struct sockaddr* address, socklen_t length) {
    CALL_BODY(real_connect()(fd, address, length));
}
ssize_t send(int fd, const void* data, size_t size, int flags) {
    CALL_BODY(real_send()(fd, data, size, flags));
}
ssize_t sendto(int fd, const void* data, size_t size, int flags, const struct sockaddr* to,
               socklen_t length) {
    CALL_BODY(real_sendto()(fd, data, size, flags, to, length));
}
ssize_t sendmsg(int fd, const struct msghdr* message, int flags) {
    CALL_BODY(real_sendmsg()(fd, message, flags));
}
int select(int count, fd_set* reads, fd_set* writes, fd_set* errors, struct timeval* timeout) {
    CALL_BODY(real_select()(count, reads, writes, errors, timeout));
}
int poll(struct pollfd* fds, nfds_t count, int timeout) {
    CALL_BODY(real_poll()(fds, count, timeout));
}
int nanosleep(const struct timespec* duration, struct timespec* left) {
    CALL_BODY(real_nanosleep()(duration, left));
}
int clock_nanosleep(clockid_t clock, int flags, const struct timespec* t, struct timespec* left) {
    CALL_BODY(real_clock_nanosleep()(clock, flags, t, left));
}
int usleep(useconds_t microseconds) {
    CALL_BODY(real_usleep()(microseconds));
}
int sched_yield(void) {
    CALL_BODY(real_sched_yield()());
}
int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                struct addrinfo** result) {
    CALL_BODY(real_getaddrinfo()(node, service, hints, result));
}
struct hostent* gethostbyname(const char* name) {
    CALL_BODY(real_gethostbyname()(name));
}
long syscall(long number, ...) {
    va_list args;
    va_start(args, number);
    long a[6];
    for (int i = 0; i < 6; ++i)
        a[i] = va_arg(args, long);
    va_end(args);
    CALL_BODY(real_syscall()(number, a[0], a[1], a[2], a[3], a[4], a[5]));
}

/* ---- Heap allocations ------------------------------------------------------------------ */

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVRO_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVRO_SANITIZER_ALLOCATOR 1
#endif
#endif

#if defined(TAVRO_SANITIZER_ALLOCATOR)
/* The sanitizer owns malloc; it calls these hooks for every allocation,
 * from any library. */
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));

static void on_allocation(const volatile void* pointer, size_t size) {
    (void)pointer;
    (void)size;
    tavro_activity_count_allocation();
}
/* Required: the sanitizers install no hooks without both. */
static void on_free(const volatile void* pointer) {
    (void)pointer;
}
#else
/* Without a sanitizer the C library's allocator is reached under its
 * internal names; free, memalign and the rest stay the library's own, which
 * match. */
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size) {
    tavro_activity_count_allocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    tavro_activity_count_allocation();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    if (size != 0)
        tavro_activity_count_allocation();
    return __libc_realloc(pointer, size);
}
#endif

/* Everything looked up before a thread counts anything. */
__attribute__((constructor)) static void tavro_activity_prepare(void) {
#if defined(TAVRO_SANITIZER_ALLOCATOR)
    __sanitizer_install_malloc_and_free_hooks(on_allocation, on_free);
#endif
    real_pthread_mutex_lock();
    real_pthread_mutex_trylock();
    real_pthread_mutex_timedlock();
    real_pthread_mutex_clocklock();
    real_pthread_rwlock_rdlock();
    real_pthread_rwlock_wrlock();
    real_pthread_rwlock_tryrdlock();
    real_pthread_rwlock_trywrlock();
    real_pthread_rwlock_timedrdlock();
    real_pthread_rwlock_timedwrlock();
    real_pthread_spin_lock();
    real_pthread_spin_trylock();
    real_pthread_cond_signal();
    real_pthread_cond_broadcast();
    real_pthread_cond_wait();
    real_pthread_cond_timedwait();
    real_pthread_cond_clockwait();
    real_sem_wait();
    real_sem_trywait();
    real_sem_timedwait();
    real_sem_clockwait();
    real_sem_post();
    real_write();
    real_writev();
    real_fputs();
    real_puts();
    real_fputc();
    real_putc();
    real_putchar();
    real_fwrite();
    real_vprintf();
    real_vfprintf();
    real_vdprintf();
    real___vprintf_chk();
    real___vfprintf_chk();
    real_perror();
    real_read();
    real_socket();
    real_connect();
    real_send();
    real_sendto();
    real_sendmsg();
    real_select();
    real_poll();
    real_nanosleep();
    real_clock_nanosleep();
    real_usleep();
    real_sched_yield();
    real_getaddrinfo();
    real_gethostbyname();
    real_syscall();
}

#pragma GCC visibility pop

#endif /* __linux__ */
