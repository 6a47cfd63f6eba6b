// IDispatch of IRevivo: EnumDeletedObjects and BackupObjects by name, for scripts.
#pragma once
